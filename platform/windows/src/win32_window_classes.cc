// Window classes, and the icons and cursors they are registered with.
#include <cwchar>

#include "win32_desktop.h"
#include "win32_modules.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

HINSTANCE OrExecutable(HINSTANCE instance) {
  return instance == nullptr ? ExecutableModule() : instance;
}

WindowClassRecord* FindExactLocked(Desktop& desktop, LPCWSTR name_or_atom, HINSTANCE instance) {
  if (IS_INTRESOURCE(name_or_atom)) {
    auto it = desktop.classes.find(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name_or_atom)));
    return it == desktop.classes.end() || it->second.instance != instance ? nullptr : &it->second;
  }
  const std::wstring folded = FoldCase(name_or_atom);
  for (auto& [atom, window_class] : desktop.classes) {
    if (window_class.instance == instance && FoldCase(window_class.name) == folded) {
      return &window_class;
    }
  }
  return nullptr;
}

bool IsPredefined(int id, bool is_cursor) {
  if (is_cursor) {
    return (id >= 32512 && id <= 32516) || (id >= 32642 && id <= 32646) ||
           (id >= 32648 && id <= 32651);
  }
  return id >= 32512 && id <= 32518;
}

// A resource is named by a number, by "#number" or by a name.
ResourceKey KeyFor(HINSTANCE module, LPCWSTR name, bool is_cursor) {
  if (IS_INTRESOURCE(name)) {
    return ResourceKey{module, static_cast<int>(reinterpret_cast<ULONG_PTR>(name)), L"", is_cursor};
  }
  if (name[0] == L'#') {
    wchar_t* end = nullptr;
    const long id = std::wcstol(name + 1, &end, 10);
    if (end != name + 1 && *end == L'\0' && id > 0 && id <= 0xFFFF) {
      return ResourceKey{module, static_cast<int>(id), L"", is_cursor};
    }
  }
  return ResourceKey{module, 0, FoldCase(name), is_cursor};
}

HANDLE LoadResource(const char* call, HINSTANCE instance, LPCWSTR name, bool is_cursor) {
  if (InjectedFault(call)) {
    return nullptr;
  }
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const ResourceKey key = KeyFor(instance, name, is_cursor);
  if (instance == nullptr) {
    if (key.id == 0 || !IsPredefined(key.id, is_cursor)) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return nullptr;
    }
  } else if (!IsKnownModuleLocked(desktop, instance)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // Shared, as Windows shares the icons and cursors it loads this way.
  auto existing = desktop.resource_handles.find(key);
  if (existing != desktop.resource_handles.end()) {
    return existing->second;
  }
  const HANDLE handle = NewHandle<HANDLE>(desktop);
  desktop.resource_handles.emplace(key, handle);
  desktop.resources[handle] = testing::ResourceInfo{instance, key.id, key.name, is_cursor};
  return handle;
}

}  // namespace

WindowClassRecord* FindClassLocked(Desktop& desktop, LPCWSTR name_or_atom, HINSTANCE instance) {
  if (WindowClassRecord* own = FindExactLocked(desktop, name_or_atom, OrExecutable(instance))) {
    return own;
  }
  if (IS_INTRESOURCE(name_or_atom)) {
    auto it = desktop.classes.find(static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name_or_atom)));
    return it == desktop.classes.end() ? nullptr : &it->second;
  }
  const std::wstring folded = FoldCase(name_or_atom);
  for (auto& [atom, window_class] : desktop.classes) {
    if (FoldCase(window_class.name) == folded) {
      return &window_class;
    }
  }
  return nullptr;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowClassRecord;

extern "C" {

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
  if (InjectedFault("RegisterClassW")) {
    return 0;
  }
  if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
      IS_INTRESOURCE(lpWndClass->lpszClassName) || lpWndClass->lpfnWndProc == nullptr ||
      lpWndClass->cbClsExtra < 0 || lpWndClass->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const HINSTANCE instance = halvex::platform::win32::OrExecutable(lpWndClass->hInstance);
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (halvex::platform::win32::FindExactLocked(desktop, lpWndClass->lpszClassName, instance) !=
      nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (desktop.next_atom == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // Every atom is taken.
    return 0;
  }
  const ATOM atom = desktop.next_atom++;
  WindowClassRecord& record = desktop.classes[atom];
  record.name = lpWndClass->lpszClassName;
  record.atom = atom;
  record.style = lpWndClass->style;
  record.procedure = lpWndClass->lpfnWndProc;
  record.window_extra = lpWndClass->cbWndExtra;
  record.instance = instance;
  record.icon = lpWndClass->hIcon;
  record.cursor = lpWndClass->hCursor;
  record.background = lpWndClass->hbrBackground;
  return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
  if (InjectedFault("UnregisterClassW")) {
    return FALSE;
  }
  if (lpClassName == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowClassRecord* record = halvex::platform::win32::FindExactLocked(
      desktop, lpClassName, halvex::platform::win32::OrExecutable(hInstance));
  if (record == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (record->live_windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  desktop.classes.erase(record->atom);
  return TRUE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
  if (InjectedFault("GetClassInfoW")) {
    return FALSE;
  }
  if (lpClassName == nullptr || lpWndClass == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowClassRecord* record = halvex::platform::win32::FindExactLocked(
      desktop, lpClassName, halvex::platform::win32::OrExecutable(hInstance));
  if (record == nullptr) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  *lpWndClass = WNDCLASSW{record->style,        record->procedure,  0,
                          record->window_extra, record->instance,   record->icon,
                          record->cursor,       record->background, nullptr,
                          lpClassName};
  return record->atom;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  return static_cast<HICON>(
      halvex::platform::win32::LoadResource("LoadIconW", hInstance, lpIconName, false));
}

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  return static_cast<HCURSOR>(
      halvex::platform::win32::LoadResource("LoadCursorW", hInstance, lpCursorName, true));
}

}  // extern "C"

namespace halvex::testing {

std::optional<ClassInfo> InspectClass(const std::wstring& name) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const std::wstring folded = platform::win32::FoldCase(name);
  for (const auto& [atom, record] : desktop.classes) {
    if (platform::win32::FoldCase(record.name) == folded) {
      return ClassInfo{record.name, record.style,  record.procedure,   record.instance,
                       record.icon, record.cursor, record.live_windows};
    }
  }
  return std::nullopt;
}

std::optional<ResourceInfo> InspectResource(HANDLE icon_or_cursor) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto it = desktop.resources.find(icon_or_cursor);
  if (it == desktop.resources.end()) {
    return std::nullopt;
  }
  return it->second;
}

}  // namespace halvex::testing
