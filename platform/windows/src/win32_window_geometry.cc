// Window and client rectangles, moving, sizing and showing.
#include <algorithm>

#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

constexpr int kSizingFrame = testing::kSizingFrameWidth;
constexpr int kDialogFrame = testing::kDialogFrameWidth;
constexpr int kBorder = testing::kBorderWidth;
constexpr int kClientEdge = testing::kClientEdgeWidth;
constexpr int kCaption = testing::kCaptionHeight;

LONG Width(const RECT& rect) {
  return rect.right - rect.left;
}

LONG Height(const RECT& rect) {
  return rect.bottom - rect.top;
}

bool ActivatesWhenShown(int command) {
  switch (command) {
    case SW_SHOWNORMAL:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMAXIMIZED:
    case SW_SHOW:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
      return true;
    default:
      return false;
  }
}

RECT DesktopRectLocked(const Desktop& desktop) {
  RECT all = desktop.monitors.front().rect;
  for (const MonitorRecord& monitor : desktop.monitors) {
    all.left = std::min(all.left, monitor.rect.left);
    all.top = std::min(all.top, monitor.rect.top);
    all.right = std::max(all.right, monitor.rect.right);
    all.bottom = std::max(all.bottom, monitor.rect.bottom);
  }
  return all;
}

enum class RectKind { kWindow, kClient };

// Copies a rectangle of a window out under the lock; false for an invalid window.
BOOL ReadRect(HWND hwnd, LPRECT out, RectKind kind) {
  if (out == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (hwnd == GetDesktopWindow()) {
    const RECT all = DesktopRectLocked(desktop);
    *out = kind == RectKind::kWindow ? all : RECT{0, 0, Width(all), Height(all)};
    return TRUE;
  }
  const WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *out = kind == RectKind::kWindow ? ScreenRectLocked(desktop, *window)
                                   : RECT{0, 0, Width(window->client), Height(window->client)};
  return TRUE;
}

}  // namespace

RECT ClientFromCalculated(const RECT& window, const RECT& calculated) {
  const LONG width = Width(window);
  const LONG height = Height(window);
  RECT client{calculated.left - window.left, calculated.top - window.top,
              calculated.right - window.left, calculated.bottom - window.top};
  client.left = std::clamp<LONG>(client.left, 0, width);
  client.top = std::clamp<LONG>(client.top, 0, height);
  client.right = std::clamp<LONG>(client.right, client.left, width);
  client.bottom = std::clamp<LONG>(client.bottom, client.top, height);
  return client;
}

RECT NonClientInsets(DWORD style, DWORD ex_style) {
  int frame = 0;
  if ((style & WS_THICKFRAME) != 0) {
    frame = kSizingFrame;
  } else if ((style & WS_DLGFRAME) != 0) {
    frame = kDialogFrame;
  } else if ((style & WS_BORDER) != 0) {
    frame = kBorder;
  }
  if ((ex_style & WS_EX_CLIENTEDGE) != 0) {
    frame += kClientEdge;
  }
  const int caption = (style & WS_CAPTION) == WS_CAPTION ? kCaption : 0;
  return RECT{frame, frame + caption, frame, frame};
}

RECT ScreenRectLocked(Desktop& desktop, const WindowRecord& window) {
  const WindowRecord* parent =
      window.parent == nullptr ? nullptr : FindWindowLocked(desktop, window.parent);
  if (parent == nullptr) {
    return window.rect;
  }
  const RECT parent_rect = ScreenRectLocked(desktop, *parent);
  const LONG dx = parent_rect.left + parent->client.left;
  const LONG dy = parent_rect.top + parent->client.top;
  return RECT{window.rect.left + dx, window.rect.top + dy, window.rect.right + dx,
              window.rect.bottom + dy};
}

POINT ClientOriginInParentLocked(const WindowRecord& window) {
  return POINT{window.rect.left + window.client.left, window.rect.top + window.client.top};
}

BOOL SetWindowPosInternal(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  WINDOWPOS position{hwnd, insert_after, x, y, std::max(cx, 0), std::max(cy, 0), flags};
  if ((flags & SWP_NOMOVE) != 0) {
    position.x = window->rect.left;
    position.y = window->rect.top;
  }
  if ((flags & SWP_NOSIZE) != 0) {
    position.cx = Width(window->rect);
    position.cy = Height(window->rect);
  }
  lock.unlock();
  if ((flags & SWP_NOSENDCHANGING) == 0) {
    SendToWindow(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&position));
  }

  lock.lock();
  window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const RECT old_rect = window->rect;
  const RECT old_client = window->client;
  const POINT old_client_origin = ClientOriginInParentLocked(*window);
  RECT new_rect = old_rect;
  if ((position.flags & SWP_NOMOVE) == 0) {
    new_rect =
        RECT{position.x, position.y, position.x + Width(old_rect), position.y + Height(old_rect)};
  }
  if ((position.flags & SWP_NOSIZE) == 0) {
    new_rect.right = new_rect.left + std::max(position.cx, 0);
    new_rect.bottom = new_rect.top + std::max(position.cy, 0);
  }
  const bool moved = new_rect.left != old_rect.left || new_rect.top != old_rect.top;
  const bool sized = Width(new_rect) != Width(old_rect) || Height(new_rect) != Height(old_rect);
  lock.unlock();

  RECT new_client = old_client;
  if (moved || sized || (position.flags & SWP_FRAMECHANGED) != 0) {
    NCCALCSIZE_PARAMS params{};
    params.rgrc[0] = new_rect;
    params.rgrc[1] = old_rect;
    params.rgrc[2] = RECT{old_rect.left + old_client.left, old_rect.top + old_client.top,
                          old_rect.left + old_client.right, old_rect.top + old_client.bottom};
    params.lppos = &position;
    SendToWindow(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    new_client = ClientFromCalculated(new_rect, params.rgrc[0]);
  }

  lock.lock();
  window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->rect = new_rect;
  window->client = new_client;
  const bool was_visible = (window->style & WS_VISIBLE) != 0;
  if ((position.flags & SWP_SHOWWINDOW) != 0) {
    window->style |= WS_VISIBLE;
  } else if ((position.flags & SWP_HIDEWINDOW) != 0) {
    window->style &= ~WS_VISIBLE;
  }
  const bool visible = (window->style & WS_VISIBLE) != 0;
  const bool top_level = IsTopLevel(*window);
  const POINT new_client_origin = ClientOriginInParentLocked(*window);
  if (Width(new_client) == Width(old_client) && Height(new_client) == Height(old_client)) {
    position.flags |= kNoClientSize;
  }
  if (new_client_origin.x == old_client_origin.x && new_client_origin.y == old_client_origin.y) {
    position.flags |= kNoClientMove;
  }
  lock.unlock();

  SendToWindow(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
  if (was_visible && !visible) {
    DeactivateSubtree(hwnd);
  } else if (visible && top_level && (flags & SWP_NOACTIVATE) == 0) {
    ActivateWindow(hwnd);
  }
  return TRUE;
}

BOOL ShowWindowInternal(HWND hwnd, int command) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (command < SW_HIDE || command > SW_MAX) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool was_visible = (window->style & WS_VISIBLE) != 0;
  const bool show = command != SW_HIDE;
  const bool top_level = IsTopLevel(*window);
  window->show_commands.push_back(command);
  lock.unlock();

  if (show != was_visible) {
    SendToWindow(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    lock.lock();
    window = FindWindowLocked(desktop, hwnd);
    if (window != nullptr) {
      window->style = show ? (window->style | WS_VISIBLE) : (window->style & ~WS_VISIBLE);
    }
    lock.unlock();
  }
  if (show && top_level && ActivatesWhenShown(command)) {
    ActivateWindow(hwnd);
  } else if (!show && was_visible) {
    DeactivateSubtree(hwnd);
  }
  return was_visible ? TRUE : FALSE;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::InjectedFault;

extern "C" {

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (InjectedFault("GetClientRect")) {
    return FALSE;
  }
  return halvex::platform::win32::ReadRect(hWnd, lpRect,
                                           halvex::platform::win32::RectKind::kClient);
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (InjectedFault("GetWindowRect")) {
    return FALSE;
  }
  return halvex::platform::win32::ReadRect(hWnd, lpRect,
                                           halvex::platform::win32::RectKind::kWindow);
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  if (InjectedFault("MoveWindow")) {
    return FALSE;
  }
  return halvex::platform::win32::SetWindowPosInternal(
      hWnd, nullptr, X, Y, nWidth, nHeight,
      SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0u : SWP_NOREDRAW));
}

BOOL WINAPI
SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  if (InjectedFault("SetWindowPos")) {
    return FALSE;
  }
  return halvex::platform::win32::SetWindowPosInternal(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  if (InjectedFault("ShowWindow")) {
    return FALSE;
  }
  return halvex::platform::win32::ShowWindowInternal(hWnd, nCmdShow);
}

// The model paints nothing, so there is never an update region to send WM_PAINT for.
BOOL WINAPI UpdateWindow(HWND hWnd) {
  if (InjectedFault("UpdateWindow")) {
    return FALSE;
  }
  return IsWindow(hWnd);
}

}  // extern "C"
