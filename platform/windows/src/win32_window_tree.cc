// The window tree: lookups, parents and ancestors, and the values stored with each window.
#include <cstring>

#include "win32_desktop.h"
#include "win32_modules.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

// Fixed handles below the range of made ones.
const HWND kDesktopWindow = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10000));
const HWND kMessageRoot = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10008));

bool ExtraIndexFits(const WindowRecord& window, int index) {
  return index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extra.size();
}

}  // namespace

HWND MessageRoot() {
  return kMessageRoot;
}

WindowRecord* FindWindowLocked(Desktop& desktop, HWND hwnd) {
  auto it = desktop.windows.find(hwnd);
  if (it == desktop.windows.end() || it->second->phase == WindowPhase::kDestroyed) {
    return nullptr;
  }
  return it->second.get();
}

WindowRecord* FindLiveWindowLocked(Desktop& desktop, HWND hwnd) {
  WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr || window->phase == WindowPhase::kDestroying) {
    return nullptr;
  }
  return window;
}

bool IsTopLevel(const WindowRecord& window) {
  return window.parent == nullptr;
}

bool IsInSubtreeLocked(Desktop& desktop, HWND root, HWND hwnd) {
  while (hwnd != nullptr) {
    if (hwnd == root) {
      return true;
    }
    const WindowRecord* window = FindWindowLocked(desktop, hwnd);
    hwnd = window == nullptr ? nullptr : window->parent;
  }
  return false;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::FindLiveWindowLocked;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowRecord;

extern "C" {

HWND WINAPI GetDesktopWindow() {
  return halvex::platform::win32::kDesktopWindow;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  if (InjectedFault("IsWindow")) {
    return FALSE;
  }
  if (hWnd == halvex::platform::win32::kDesktopWindow ||
      hWnd == halvex::platform::win32::kMessageRoot) {
    return TRUE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return FindWindowLocked(desktop, hWnd) != nullptr ? TRUE : FALSE;
}

// Visible only when the window and all its ancestors are.
BOOL WINAPI IsWindowVisible(HWND hWnd) {
  if (InjectedFault("IsWindowVisible")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    return FALSE;
  }
  while (window != nullptr) {
    if ((window->style & WS_VISIBLE) == 0 ||
        window->parent == halvex::platform::win32::kMessageRoot) {
      return FALSE;
    }
    window = window->parent == nullptr ? nullptr : FindWindowLocked(desktop, window->parent);
  }
  return TRUE;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  if (InjectedFault("IsChild")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr || hWnd == hWndParent || FindWindowLocked(desktop, hWndParent) == nullptr) {
    return FALSE;
  }
  return halvex::platform::win32::IsInSubtreeLocked(desktop, hWndParent, window->parent) ? TRUE
                                                                                         : FALSE;
}

// The parent of a child window, the owner of any other.
HWND WINAPI GetParent(HWND hWnd) {
  if (InjectedFault("GetParent")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return (window->style & WS_CHILD) != 0 ? window->parent : window->owner;
}

// Returns the previous parent (the desktop window for a window that was top-level). The window
// keeps its coordinates, now relative to the new parent's client area.
HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
  if (InjectedFault("SetParent")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  WindowRecord* child = FindLiveWindowLocked(desktop, hWndChild);
  if (child == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND new_parent = hWndNewParent;
  if (hWndNewParent == HWND_MESSAGE) {
    new_parent = halvex::platform::win32::kMessageRoot;
  } else if (hWndNewParent == halvex::platform::win32::kDesktopWindow) {
    new_parent = nullptr;
  } else if (hWndNewParent != nullptr) {
    if (FindLiveWindowLocked(desktop, hWndNewParent) == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    // A window cannot become a descendant of itself.
    if (halvex::platform::win32::IsInSubtreeLocked(desktop, hWndChild, hWndNewParent)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  const HWND previous = child->parent;
  child->parent = new_parent;
  return previous == nullptr ? halvex::platform::win32::kDesktopWindow : previous;
}

HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
  if (InjectedFault("GetAncestor")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  auto root_of = [&desktop](const WindowRecord* start) {
    while (start->parent != nullptr) {
      const WindowRecord* parent = FindWindowLocked(desktop, start->parent);
      if (parent == nullptr) {
        break;  // The message root: its children are the roots of their trees.
      }
      start = parent;
    }
    return start;
  };
  switch (gaFlags) {
    case GA_PARENT:
      return window->parent == nullptr ? halvex::platform::win32::kDesktopWindow : window->parent;
    case GA_ROOT:
      return root_of(window)->handle;
    case GA_ROOTOWNER: {
      const WindowRecord* root = root_of(window);
      while (root->owner != nullptr && FindWindowLocked(desktop, root->owner) != nullptr) {
        root = root_of(FindWindowLocked(desktop, root->owner));
      }
      return root->handle;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

// Like Windows, a successful call leaves the last error as it was, so a caller that must tell a
// stored 0 from a failure clears it first.
LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  if (InjectedFault("GetWindowLongPtrW")) {
    return 0;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (nIndex) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->procedure);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>((window->style & WS_CHILD) != 0 ? window->parent
                                                                        : window->owner);
    case GWLP_ID:
      return window->id;
    case GWL_STYLE:
      return static_cast<LONG_PTR>(window->style);
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(window->ex_style);
    case GWLP_USERDATA:
      return window->user_data;
    default:
      break;
  }
  if (!halvex::platform::win32::ExtraIndexFits(*window, nIndex)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR value = 0;
  std::memcpy(&value, window->extra.data() + nIndex, sizeof(value));
  return value;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  if (InjectedFault("SetWindowLongPtrW")) {
    return 0;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous = 0;
  switch (nIndex) {
    case GWLP_WNDPROC:
      if (dwNewLong == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      previous = reinterpret_cast<LONG_PTR>(window->procedure);
      window->procedure = reinterpret_cast<WNDPROC>(dwNewLong);
      return previous;
    case GWLP_HINSTANCE:
      previous = reinterpret_cast<LONG_PTR>(window->instance);
      window->instance = reinterpret_cast<HINSTANCE>(dwNewLong);
      return previous;
    case GWLP_HWNDPARENT:
      previous = reinterpret_cast<LONG_PTR>(window->owner);
      window->owner = reinterpret_cast<HWND>(dwNewLong);
      return previous;
    case GWLP_ID:
      previous = window->id;
      window->id = dwNewLong;
      return previous;
    case GWL_STYLE:
      previous = static_cast<LONG_PTR>(window->style);
      window->style = static_cast<DWORD>(dwNewLong);
      return previous;
    case GWL_EXSTYLE:
      previous = static_cast<LONG_PTR>(window->ex_style);
      window->ex_style = static_cast<DWORD>(dwNewLong);
      return previous;
    case GWLP_USERDATA:
      previous = window->user_data;
      window->user_data = dwNewLong;
      return previous;
    default:
      break;
  }
  if (!halvex::platform::win32::ExtraIndexFits(*window, nIndex)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  std::memcpy(&previous, window->extra.data() + nIndex, sizeof(previous));
  std::memcpy(window->extra.data() + nIndex, &dwNewLong, sizeof(dwNewLong));
  return previous;
}

}  // extern "C"

// Only a top-level window can have its frame scaled, and only while it handles WM_NCCREATE.
BOOL WINAPI EnableNonClientDpiScaling(HWND hwnd) {
  if (InjectedFault("EnableNonClientDpiScaling")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!window->in_nccreate || window->parent != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  window->non_client_dpi_scaling = true;
  return TRUE;
}
