// What the system does with a message that a window procedure passes on.
#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

using halvex::platform::win32::Desktop;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::SendToWindow;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowRecord;

namespace {

LRESULT OnNcCreate(HWND hwnd, LPARAM lparam) {
  const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
  if (create != nullptr && create->lpszName != nullptr) {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.mutex);
    if (WindowRecord* window = FindWindowLocked(desktop, hwnd)) {
      window->title = create->lpszName;
    }
  }
  return TRUE;
}

// Both forms turn the proposed window rectangle into the client rectangle.
LRESULT OnNcCalcSize(HWND hwnd, WPARAM wparam, LPARAM lparam) {
  if (lparam == 0) {
    return 0;
  }
  RECT* rect = wparam != FALSE ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0]
                               : reinterpret_cast<RECT*>(lparam);
  RECT insets{};
  {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.mutex);
    const WindowRecord* window = FindWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      return 0;
    }
    insets = halvex::platform::win32::NonClientInsets(window->style, window->ex_style);
  }
  rect->left += insets.left;
  rect->top += insets.top;
  rect->right -= insets.right;
  rect->bottom -= insets.bottom;
  if (rect->right < rect->left) {
    rect->right = rect->left;
  }
  if (rect->bottom < rect->top) {
    rect->bottom = rect->top;
  }
  return 0;
}

LRESULT OnWindowPosChanged(HWND hwnd, LPARAM lparam) {
  const auto* position = reinterpret_cast<const WINDOWPOS*>(lparam);
  if (position == nullptr) {
    return 0;
  }
  LPARAM size = 0;
  LPARAM origin = 0;
  {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.mutex);
    const WindowRecord* window = FindWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      return 0;
    }
    size = MAKELPARAM(window->client.right - window->client.left,
                      window->client.bottom - window->client.top);
    const POINT client_origin = halvex::platform::win32::ClientOriginInParentLocked(*window);
    origin = MAKELPARAM(client_origin.x, client_origin.y);
  }
  // A move is reported before a resize here, unlike at creation.
  if ((position->flags & halvex::platform::win32::kNoClientMove) == 0) {
    SendToWindow(hwnd, WM_MOVE, 0, origin);
  }
  if ((position->flags & halvex::platform::win32::kNoClientSize) == 0) {
    SendToWindow(hwnd, WM_SIZE, SIZE_RESTORED, size);
  }
  return 0;
}

}  // namespace

extern "C" {

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  switch (Msg) {
    case WM_NCCREATE:
      return OnNcCreate(hWnd, lParam);
    case WM_NCCALCSIZE:
      return OnNcCalcSize(hWnd, wParam, lParam);
    case WM_CLOSE:
      halvex::platform::win32::DestroyWindowInternal(hWnd);
      return 0;
    case WM_WINDOWPOSCHANGED:
      return OnWindowPosChanged(hWnd, lParam);
    case WM_PAINT: {
      // Painting nothing still validates, or WM_PAINT would come back at once.
      PAINTSTRUCT paint;
      if (BeginPaint(hWnd, &paint) != nullptr) {
        EndPaint(hWnd, &paint);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        halvex::platform::win32::SetFocusInternal(hWnd);
      }
      return 0;
    case WM_SETTEXT: {
      Desktop& desktop = TheDesktop();
      std::lock_guard<std::mutex> lock(desktop.mutex);
      WindowRecord* window = FindWindowLocked(desktop, hWnd);
      if (window == nullptr) {
        return FALSE;
      }
      const auto* text = reinterpret_cast<const wchar_t*>(lParam);
      window->title = text == nullptr ? std::wstring() : std::wstring(text);
      return TRUE;
    }
    default:
      return 0;
  }
}

LRESULT WINAPI
CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (lpPrevWndFunc == nullptr) {
    return 0;
  }
  return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

}  // extern "C"
