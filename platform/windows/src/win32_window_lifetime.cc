// Creating and destroying windows, with the messages Windows sends in its order.
#include <algorithm>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

// Where CW_USEDEFAULT puts a top-level window: this far into the primary monitor, at three
// quarters of its size.
constexpr int kDefaultOffset = 100;

// Windows asks for the size limits of windows that can be resized or that are overlapped.
bool GetsMinMaxInfo(DWORD style) {
  return (style & WS_THICKFRAME) != 0 || (style & (WS_POPUP | WS_CHILD)) == 0;
}

MINMAXINFO DefaultMinMaxInfo(const Desktop& desktop, DWORD style, DWORD ex_style) {
  const RECT insets = NonClientInsets(style, ex_style);
  const RECT primary = desktop.monitors.front().rect;
  RECT all = primary;
  for (const MonitorRecord& monitor : desktop.monitors) {
    all.left = std::min(all.left, monitor.rect.left);
    all.top = std::min(all.top, monitor.rect.top);
    all.right = std::max(all.right, monitor.rect.right);
    all.bottom = std::max(all.bottom, monitor.rect.bottom);
  }
  MINMAXINFO info{};
  info.ptMaxSize = {primary.right - primary.left + insets.left + insets.right,
                    primary.bottom - primary.top + insets.top + insets.bottom};
  info.ptMaxPosition = {-insets.left, -insets.top};
  info.ptMinTrackSize = {136, 39};
  info.ptMaxTrackSize = {all.right - all.left + insets.left + insets.right,
                         all.bottom - all.top + insets.top + insets.bottom};
  return info;
}

// Sends WM_DESTROY to `hwnd` and then to each of its descendants, parents before children,
// collecting them in that order.
void SendDestroyMessages(HWND hwnd, std::vector<HWND>& destroyed) {
  destroyed.push_back(hwnd);
  SendToWindow(hwnd, WM_DESTROY, 0, 0);
  Desktop& desktop = TheDesktop();
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    for (HWND candidate : desktop.creation_order) {
      WindowRecord* window = FindLiveWindowLocked(desktop, candidate);
      if (window != nullptr && window->parent == hwnd) {
        window->phase = WindowPhase::kDestroying;
        children.push_back(candidate);
      }
    }
  }
  for (HWND child : children) {
    SendDestroyMessages(child, destroyed);
  }
}

void FinishDestroy(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (WindowRecord* window = FindWindowLocked(desktop, hwnd)) {
    FinishDestroyLocked(desktop, *window);
  }
}

}  // namespace

void FinishDestroyLocked(Desktop& desktop, WindowRecord& window) {
  window.phase = WindowPhase::kDestroyed;
  window.style &= ~WS_VISIBLE;
  auto window_class = desktop.classes.find(window.class_atom);
  if (window_class != desktop.classes.end()) {
    --window_class->second.live_windows;
  }
  if (desktop.focus == window.handle) {
    desktop.focus = nullptr;
  }
  if (desktop.active == window.handle) {
    desktop.active = nullptr;
  }
  PurgeMessagesLocked(desktop, window.handle);
}

void ResetWindowsLocked(Desktop& desktop) {
  desktop.windows.clear();
  desktop.creation_order.clear();
  desktop.focus = nullptr;
  desktop.active = nullptr;
  desktop.device_contexts.clear();
  for (auto& [thread_id, queue] : desktop.queues) {
    queue->posted.clear();
    queue->quit_pending = false;
    for (const std::shared_ptr<SentMessage>& sent : queue->sent) {
      sent->done = true;
    }
    queue->sent.clear();
    queue->wake.notify_all();
  }
}

BOOL DestroyWindowInternal(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::vector<HWND> owned;
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    WindowRecord* window = FindLiveWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (window->thread_id != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    window->phase = WindowPhase::kDestroying;
    for (HWND candidate : desktop.creation_order) {
      const WindowRecord* other = FindLiveWindowLocked(desktop, candidate);
      if (other != nullptr && other->owner == hwnd) {
        owned.push_back(candidate);
      }
    }
    // The window leaves the screen before it hears of its destruction.
    window->style &= ~WS_VISIBLE;
  }
  for (HWND owned_window : owned) {
    DestroyWindowInternal(owned_window);
  }
  DeactivateSubtree(hwnd);
  std::vector<HWND> destroyed;
  SendDestroyMessages(hwnd, destroyed);
  // Children hear WM_NCDESTROY before their parents.
  for (auto it = destroyed.rbegin(); it != destroyed.rend(); ++it) {
    SendToWindow(*it, WM_NCDESTROY, 0, 0);
    FinishDestroy(*it);
  }
  return TRUE;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::FindLiveWindowLocked;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::SendToWindow;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowClassRecord;
using halvex::platform::win32::WindowPhase;
using halvex::platform::win32::WindowRecord;

extern "C" {

HWND WINAPI CreateWindowExW(DWORD dwExStyle,
                            LPCWSTR lpClassName,
                            LPCWSTR lpWindowName,
                            DWORD dwStyle,
                            int X,
                            int Y,
                            int nWidth,
                            int nHeight,
                            HWND hWndParent,
                            HMENU hMenu,
                            HINSTANCE hInstance,
                            LPVOID lpParam) {
  namespace win32 = halvex::platform::win32;
  if (win32::InjectedFault("CreateWindowExW")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  const WindowClassRecord* window_class =
      lpClassName == nullptr ? nullptr : win32::FindClassLocked(desktop, lpClassName, hInstance);
  if (window_class == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  const bool child = (dwStyle & WS_CHILD) != 0;
  HWND parent = nullptr;
  HWND owner = nullptr;
  if (hWndParent == HWND_MESSAGE) {
    parent = win32::MessageRoot();
  } else if (hWndParent != nullptr) {
    const WindowRecord* given = FindLiveWindowLocked(desktop, hWndParent);
    if (given == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (child) {
      parent = hWndParent;
    } else {
      // A top-level window is owned by the top-level window of the one given.
      while (given->parent != nullptr && FindWindowLocked(desktop, given->parent) != nullptr) {
        given = FindWindowLocked(desktop, given->parent);
      }
      owner = given->handle;
    }
  } else if (child) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }

  DWORD style = dwStyle;
  if ((style & (WS_POPUP | WS_CHILD)) == 0) {
    style |= WS_CAPTION | WS_CLIPSIBLINGS;  // Overlapped windows always have a caption.
  }
  const bool show_after_creation = (style & WS_VISIBLE) != 0;

  int x = X;
  int y = Y;
  int width = nWidth;
  int height = nHeight;
  if (parent == nullptr) {
    const RECT primary = desktop.monitors.front().rect;
    if (x == CW_USEDEFAULT) {
      x = primary.left + win32::kDefaultOffset;
      y = primary.top + win32::kDefaultOffset;
    }
    if (width == CW_USEDEFAULT) {
      width = (primary.right - primary.left) * 3 / 4;
      height = (primary.bottom - primary.top) * 3 / 4;
    }
  } else {
    x = x == CW_USEDEFAULT ? 0 : x;
    y = y == CW_USEDEFAULT ? 0 : y;
    width = width == CW_USEDEFAULT ? 0 : width;
    height = height == CW_USEDEFAULT ? 0 : height;
  }
  width = std::max(width, 0);
  height = std::max(height, 0);

  auto record = std::make_unique<WindowRecord>();
  const HWND hwnd = win32::NewHandle<HWND>(desktop);
  record->handle = hwnd;
  record->class_atom = window_class->atom;
  record->class_name = window_class->name;
  record->procedure = window_class->procedure;
  record->instance = hInstance;
  record->id = reinterpret_cast<LONG_PTR>(hMenu);
  record->parent = parent;
  record->owner = owner;
  record->creation_style = dwStyle;
  record->style = style & ~WS_VISIBLE;
  record->ex_style = dwExStyle;
  record->rect = RECT{x, y, x + width, y + height};
  record->client = RECT{0, 0, width, height};
  record->extra.assign(static_cast<size_t>(window_class->window_extra), 0);
  record->thread_id = GetCurrentThreadId();
  const MINMAXINFO limits = win32::DefaultMinMaxInfo(desktop, style, dwExStyle);
  desktop.windows.emplace(hwnd, std::move(record));
  desktop.creation_order.push_back(hwnd);
  ++desktop.classes[window_class->atom].live_windows;
  win32::EnsureQueueLocked(desktop);
  lock.unlock();

  CREATESTRUCTW create{lpParam,
                       hInstance,
                       hMenu,
                       hWndParent,
                       height,
                       width,
                       y,
                       x,
                       static_cast<LONG>(style),
                       lpWindowName,
                       lpClassName,
                       dwExStyle};
  if (win32::GetsMinMaxInfo(style)) {
    MINMAXINFO info = limits;
    SendToWindow(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  }

  auto set_in_nccreate = [&desktop, hwnd](bool value) {
    std::lock_guard<std::mutex> guard(desktop.mutex);
    if (WindowRecord* window = FindWindowLocked(desktop, hwnd)) {
      window->in_nccreate = value;
    }
  };
  set_in_nccreate(true);
  const LRESULT nccreate = SendToWindow(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create));
  set_in_nccreate(false);
  if (nccreate == FALSE) {
    SendToWindow(hwnd, WM_NCDESTROY, 0, 0);
    win32::FinishDestroy(hwnd);
    return nullptr;
  }

  RECT calculated{x, y, x + width, y + height};
  SendToWindow(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calculated));
  {
    std::lock_guard<std::mutex> guard(desktop.mutex);
    WindowRecord* window = FindWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      return nullptr;
    }
    window->client = win32::ClientFromCalculated(window->rect, calculated);
  }

  if (SendToWindow(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    win32::DestroyWindowInternal(hwnd);
    return nullptr;
  }
  LPARAM size = 0;
  LPARAM origin = 0;
  {
    std::lock_guard<std::mutex> guard(desktop.mutex);
    WindowRecord* window = FindLiveWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      return nullptr;  // Destroyed while it was being created.
    }
    window->phase = WindowPhase::kAlive;
    size = MAKELPARAM(window->client.right - window->client.left,
                      window->client.bottom - window->client.top);
    const POINT client_origin = win32::ClientOriginInParentLocked(*window);
    origin = MAKELPARAM(client_origin.x, client_origin.y);
  }
  SendToWindow(hwnd, WM_SIZE, SIZE_RESTORED, size);
  SendToWindow(hwnd, WM_MOVE, 0, origin);
  if (show_after_creation) {
    win32::ShowWindowInternal(hwnd, SW_SHOW);
  }
  std::lock_guard<std::mutex> guard(desktop.mutex);
  return FindWindowLocked(desktop, hwnd) != nullptr ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  if (halvex::platform::win32::InjectedFault("DestroyWindow")) {
    return FALSE;
  }
  return halvex::platform::win32::DestroyWindowInternal(hWnd);
}

}  // extern "C"
