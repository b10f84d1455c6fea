// The system-behaviour tests' needs, met by Windows itself.
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

BOOL CALLBACK DestroyThreadWindow(HWND window, LPARAM) {
  DestroyWindow(window);
  return TRUE;
}

// Destroys what a case left (its own windows first, then message-only ones), unregisters the
// test window class and empties the thread's queue, WM_QUIT included.
void ClearThreadState() {
  EnumThreadWindows(GetCurrentThreadId(), &DestroyThreadWindow, 0);
  HWND message_only = nullptr;
  while ((message_only = FindWindowExW(HWND_MESSAGE, nullptr, L"HALVEX_TEST_WINDOW", nullptr)) !=
         nullptr) {
    if (!DestroyWindow(message_only)) {
      break;
    }
  }
  UnregisterClassW(L"HALVEX_TEST_WINDOW", GetModuleHandleW(nullptr));
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

}  // namespace

bool RunsOnTheDesktopModel() {
  return false;
}

bool RunsUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

SystemProbeScope::SystemProbeScope() {
  ClearThreadState();
}

SystemProbeScope::~SystemProbeScope() {
  ClearThreadState();
}

FrameMetrics SystemFrameMetrics() {
  FrameMetrics metrics;
  metrics.sizing_frame = GetSystemMetrics(SM_CXSIZEFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  metrics.dialog_frame = GetSystemMetrics(SM_CXFIXEDFRAME);
  metrics.border = GetSystemMetrics(SM_CXBORDER);
  metrics.client_edge = GetSystemMetrics(SM_CXEDGE);
  metrics.caption = GetSystemMetrics(SM_CYCAPTION);
  return metrics;
}

void StoreUserRegistryValue(const std::wstring& key,
                            const std::wstring& name,
                            DWORD type,
                            const std::vector<BYTE>& data) {
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), type, data.data(),
                  static_cast<DWORD>(data.size()));
}

void RemoveUserRegistryKey(const std::wstring& key) {
  RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

void SetProcessVariable(const std::wstring& name, const std::wstring& value) {
  SetEnvironmentVariableW(name.c_str(), value.c_str());
}

std::vector<GUID> AttributeKeysInOrder(IMFAttributes* attributes) {
  std::vector<GUID> keys;
  UINT32 count = 0;
  if (FAILED(attributes->GetCount(&count))) {
    return keys;
  }
  for (UINT32 i = 0; i < count; ++i) {
    GUID key{};
    if (SUCCEEDED(attributes->GetItemByIndex(i, &key, nullptr))) {
      keys.push_back(key);
    }
  }
  return keys;
}

}  // namespace halvex::testing
