// Helpers shared by the application shell's tests on the desktop model.
#ifndef HALVEX_TESTS_RUNNER_RUNNER_TEST_SUPPORT_H_
#define HALVEX_TESTS_RUNNER_RUNNER_TEST_SUPPORT_H_

#include <windows.h>

#include <vector>

#include "windows_testing/desktop.h"

namespace halvex::testing {

// Dispatches every message already posted to this thread, then returns. Relies on WM_QUIT being
// delivered only once no posted message is left, as Windows does.
inline void DispatchPendingMessages() {
  ::PostQuitMessage(0);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) != 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Whether WM_QUIT waits in this thread's queue. Takes it out when it does.
inline bool TakeQuitMessage() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      return true;
    }
  }
  return false;
}

inline RECT WindowRect(HWND window) {
  return InspectWindow(window).value().window_rect;
}

inline RECT ClientRectOf(HWND window) {
  return InspectWindow(window).value().client_rect;
}

}  // namespace halvex::testing

inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

#endif  // HALVEX_TESTS_RUNNER_RUNNER_TEST_SUPPORT_H_
