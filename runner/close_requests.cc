#include "runner/close_requests.h"

#include <atomic>

namespace halvex {
namespace {

// The window the events close: the handler has no other way to reach it. Null once the window
// has gone, so that no event reaches a handle another window may have taken over.
std::atomic<HWND> window_to_close{nullptr};

}  // namespace

ConsoleCloseRequests::ConsoleCloseRequests(HWND window) {
  window_to_close = window;
  // Without it the events end the process at once, as they always did.
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

ConsoleCloseRequests::~ConsoleCloseRequests() {
  window_to_close = nullptr;
}

BOOL WINAPI ConsoleCloseRequests::OnControlEvent(DWORD event) {
  const HWND window = window_to_close.load();
  if (window != nullptr) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  switch (event) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process as soon as this returns: wait here while the main thread
      // closes the window and completes the recording; the process's own end ends the wait.
      ::Sleep(INFINITE);
      return TRUE;
    default:
      return TRUE;
  }
}

}  // namespace halvex
