// Asked to end is not a crash: the console's Ctrl-C, Ctrl-Break and close, the user logging off
// and the system shutting down close the top-level window as its close button does, so the host
// leaves its message loop and ends as after any close, completing a running recording.
#ifndef HALVEX_RUNNER_CLOSE_REQUESTS_H_
#define HALVEX_RUNNER_CLOSE_REQUESTS_H_

#include <windows.h>

namespace halvex {

// While it lives, console control events close `window`. Afterwards, while the program ends,
// they are taken and ignored: a second Ctrl-C must not cut the recording's completion short. One
// object at a time.
class ConsoleCloseRequests {
 public:
  explicit ConsoleCloseRequests(HWND window);
  ~ConsoleCloseRequests();
  ConsoleCloseRequests(const ConsoleCloseRequests&) = delete;
  ConsoleCloseRequests& operator=(const ConsoleCloseRequests&) = delete;

 private:
  // Called by the system on a thread of its own.
  static BOOL WINAPI OnControlEvent(DWORD event);
};

}  // namespace halvex

#endif  // HALVEX_RUNNER_CLOSE_REQUESTS_H_
