// Creates the host's top-level window the way the host does, and reports what Windows made of it:
// the position and size asked of CreateWindowExW (seen by a creation hook), whether the window
// was hidden until the engine's first frame, and every DwmSetWindowAttribute call (caught in this
// program's import table). Usage: window_probe REPORT_FILE
#include <windows.h>
#include <dwmapi.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine_host/engine_project.h"
#include "runner/flutter_window.h"

namespace {

struct CreationSeen {
  bool seen = false;
  int x = 0, y = 0, width = 0, height = 0;
  LONG style = 0;
};
CreationSeen creation;

bool IsHostWindow(HWND window) {
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  return std::wstring(className) == L"FLUTTER_RUNNER_WIN32_WINDOW";
}

LRESULT CALLBACK CreationHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND && IsHostWindow(reinterpret_cast<HWND>(wparam))) {
    const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs;
    creation = {true, create->x, create->y, create->cx, create->cy, create->style};
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

struct DwmCall {
  HWND window;
  DWORD attribute;
  std::vector<uint8_t> value;
};
std::vector<DwmCall> dwmCalls;

HRESULT WINAPI RecordDwmSetWindowAttribute(HWND window,
                                           DWORD attribute,
                                           LPCVOID value,
                                           DWORD size) {
  const auto* bytes = static_cast<const uint8_t*>(value);
  dwmCalls.push_back({window, attribute, std::vector<uint8_t>(bytes, bytes + size)});
  return S_OK;
}

// Points this program's import of `function` from `library` at `replacement`.
bool RedirectImport(const char* library, const char* function, const void* replacement) {
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), library) != 0) {
      continue;
    }
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
        continue;
      }
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) {
        continue;
      }
      DWORD oldProtection = 0;
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                     &oldProtection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtection,
                     &oldProtection);
      return true;
    }
  }
  return false;
}

// Runs the message loop until the window is visible, or for at most 20 seconds. Visibility is
// checked after every message: the probe application ends (and the engine closes the window) as
// soon as it sees the window shown, and that close must not be dispatched before the check.
bool PumpUntilShown(HWND window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!IsWindowVisible(window) && std::chrono::steady_clock::now() < deadline) {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return IsWindowVisible(window) != FALSE;
}

}  // namespace

// A GUI program, as the host is.
int APIENTRY wWinMain(HINSTANCE /*instance*/,
                      HINSTANCE /*previous_instance*/,
                      PWSTR /*command_line*/,
                      int /*show_command*/) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 2) {
    return 2;
  }
  const std::wstring reportPath = argv[1];
  LocalFree(argv);
  std::ostringstream report;
  report << "import_redirected "
         << (RedirectImport("dwmapi.dll", "DwmSetWindowAttribute",
                            reinterpret_cast<const void*>(&RecordDwmSetWindowAttribute))
                 ? 1
                 : 0)
         << "\n";
  HHOOK hook = SetWindowsHookExW(WH_CBT, &CreationHook, nullptr, GetCurrentThreadId());

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    FlutterWindow window(EngineProject(L"data"));
    const bool created = window.Create(L"Halvex", LogicalPoint{10, 10}, LogicalSize{1280, 720});
    UnhookWindowsHookEx(hook);
    const HWND handle = window.window_handle();
    report << "created " << (created ? 1 : 0) << "\n";
    report << "create_args " << creation.x << " " << creation.y << " " << creation.width << " "
           << creation.height << "\n";
    report << "create_style_visible " << ((creation.style & WS_VISIBLE) != 0 ? 1 : 0) << "\n";
    report << "visible_after_create " << (IsWindowVisible(handle) ? 1 : 0) << "\n";
    report << "visible_after_frame " << (PumpUntilShown(handle) ? 1 : 0) << "\n";
    report << "zoomed " << (IsZoomed(handle) ? 1 : 0) << "\n";
    report << "iconic " << (IsIconic(handle) ? 1 : 0) << "\n";
    RECT outer{};
    GetWindowRect(handle, &outer);
    report << "window_rect " << outer.left << " " << outer.top << " " << outer.right << " "
           << outer.bottom << "\n";
    report << "dpi " << GetDpiForWindow(handle) << "\n";
    for (const DwmCall& call : dwmCalls) {
      uint32_t value = 0;
      std::memcpy(&value, call.value.data(), std::min<size_t>(sizeof(value), call.value.size()));
      report << "dwm " << (call.window == handle ? "window" : "other") << " " << call.attribute
             << " " << call.value.size() << " " << value << "\n";
    }
  }
  report << "end\n";
  std::ofstream(reportPath.c_str(), std::ios::binary) << report.str();
  return 0;
}
