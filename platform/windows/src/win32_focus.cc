// Keyboard focus and the active window. The model has one of each for the whole desktop.
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {

HWND SetFocusInternal(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  if (hwnd != nullptr) {
    const WindowRecord* window = FindWindowLocked(desktop, hwnd);
    if (window == nullptr) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (window->thread_id != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  const HWND previous = desktop.focus;
  if (previous == hwnd) {
    return previous;
  }
  lock.unlock();
  if (previous != nullptr) {
    SendToWindow(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  }
  lock.lock();
  if (hwnd != nullptr && FindWindowLocked(desktop, hwnd) == nullptr) {
    return previous;  // Gone while the previous window let go of the focus.
  }
  desktop.focus = hwnd;
  lock.unlock();
  if (hwnd != nullptr) {
    SendToWindow(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  }
  return previous;
}

void ActivateWindow(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  const HWND previous = desktop.active;
  if (previous == hwnd) {
    return;
  }
  desktop.active = hwnd;
  const HWND focus = desktop.focus;
  const bool focus_elsewhere = focus != nullptr && !IsInSubtreeLocked(desktop, hwnd, focus);
  if (focus_elsewhere) {
    desktop.focus = nullptr;
  }
  lock.unlock();
  if (previous != nullptr) {
    SendToWindow(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hwnd));
  }
  if (focus_elsewhere) {
    SendToWindow(focus, WM_KILLFOCUS, 0, 0);
  }
  SendToWindow(hwnd, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), reinterpret_cast<LPARAM>(previous));
}

void DeactivateSubtree(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  const HWND active = desktop.active;
  const HWND focus = desktop.focus;
  const bool was_active = active != nullptr && IsInSubtreeLocked(desktop, hwnd, active);
  const bool had_focus = focus != nullptr && IsInSubtreeLocked(desktop, hwnd, focus);
  if (was_active) {
    desktop.active = nullptr;
  }
  if (had_focus) {
    desktop.focus = nullptr;
  }
  lock.unlock();
  if (was_active) {
    SendToWindow(active, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
  }
  if (had_focus) {
    SendToWindow(focus, WM_KILLFOCUS, 0, 0);
  }
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::TheDesktop;

namespace {

// The focus and the active window are seen only from the thread they belong to.
HWND OnCallingThread(HWND hwnd) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const auto* window = FindWindowLocked(desktop, hwnd);
  return window != nullptr && window->thread_id == GetCurrentThreadId() ? hwnd : nullptr;
}

}  // namespace

extern "C" {

HWND WINAPI SetFocus(HWND hWnd) {
  if (halvex::platform::win32::InjectedFault("SetFocus")) {
    return nullptr;
  }
  return halvex::platform::win32::SetFocusInternal(hWnd);
}

HWND WINAPI GetFocus() {
  Desktop& desktop = TheDesktop();
  HWND focus = nullptr;
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    focus = desktop.focus;
  }
  return focus == nullptr ? nullptr : OnCallingThread(focus);
}

HWND WINAPI GetActiveWindow() {
  Desktop& desktop = TheDesktop();
  HWND active = nullptr;
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    active = desktop.active;
  }
  return active == nullptr ? nullptr : OnCallingThread(active);
}

}  // extern "C"
