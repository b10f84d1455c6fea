// Console control events: the handlers the program registers, and the signals of this system that
// stand for the events (SIGINT for Ctrl-C, SIGHUP for the console closing, SIGTERM for the system
// shutting down). As on Windows, each event is handled on a new thread of its own.
#include <windows.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <mutex>
#include <thread>
#include <vector>

#include "win32_desktop.h"

namespace halvex::platform::win32 {
namespace {

struct ControlState {
  std::mutex mutex;
  std::vector<PHANDLER_ROUTINE> handlers;  // in the order they were added
  bool ignore_ctrl_c = false;
  bool signals_installed = false;
  int pipe_read = -1;
  int pipe_write = -1;
};

ControlState& State() {
  static ControlState* state = new ControlState();  // Never destroyed: used until the very end.
  return *state;
}

int SignalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return SIGINT;
    case CTRL_CLOSE_EVENT:
      return SIGHUP;
    default:
      return SIGTERM;
  }
}

// The handlers, newest first, are asked in turn; with none taking the event the process ends, as
// the signal would have ended it. The closing events end the process once a handler returns.
void Dispatch(DWORD event) {
  std::vector<PHANDLER_ROUTINE> handlers;
  bool ignored = false;
  {
    ControlState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    handlers.assign(state.handlers.rbegin(), state.handlers.rend());
    ignored = event == CTRL_C_EVENT && state.ignore_ctrl_c;
  }
  if (ignored) {
    return;
  }
  bool handled = false;
  for (PHANDLER_ROUTINE handler : handlers) {
    if (handler(event) != FALSE) {
      handled = true;
      break;
    }
  }
  const bool closing =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  if (!handled || closing) {
    // Ended as the system ends it: by the signal that stands for the event, unhandled.
    const int signal_number = SignalOf(event);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    std::_Exit(128 + signal_number);
  }
}

void DispatchOnNewThread(DWORD event) {
  try {
    std::thread(Dispatch, event).detach();
  } catch (const std::system_error&) {
    Dispatch(event);
  }
}

// The signal handler only writes the signal's number down; a thread of the stand-in's own reads
// it and hands the event to a new thread, where handlers may do anything.
void OnSignal(int signal_number) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal_number);
  [[maybe_unused]] const ssize_t written = write(State().pipe_write, &byte, 1);
  errno = saved;
}

void ReadSignals(int pipe_read) {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t got = read(pipe_read, &byte, 1);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return;
    }
    DispatchOnNewThread(byte == SIGINT   ? CTRL_C_EVENT
                        : byte == SIGHUP ? CTRL_CLOSE_EVENT
                                         : CTRL_SHUTDOWN_EVENT);
  }
}

// Called with the state's lock held, when the first handler is added.
void InstallSignals(ControlState& state) {
  int ends[2];
  if (state.signals_installed || pipe(ends) != 0) {
    return;
  }
  state.pipe_read = ends[0];
  state.pipe_write = ends[1];
  try {
    std::thread(ReadSignals, state.pipe_read).detach();
  } catch (const std::system_error&) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal_number : {SIGINT, SIGHUP, SIGTERM}) {
    sigaction(signal_number, &action, nullptr);
  }
  state.signals_installed = true;
}

}  // namespace
}  // namespace halvex::platform::win32

extern "C" {

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add) {
  using namespace halvex::platform::win32;
  if (InjectedFault("SetConsoleCtrlHandler")) {
    return FALSE;
  }
  ControlState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (HandlerRoutine == nullptr) {
    state.ignore_ctrl_c = Add != FALSE;
    return TRUE;
  }
  if (Add != FALSE) {
    state.handlers.push_back(HandlerRoutine);
    InstallSignals(state);
    return TRUE;
  }
  const auto found = std::find(state.handlers.rbegin(), state.handlers.rend(), HandlerRoutine);
  if (found == state.handlers.rend()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  state.handlers.erase(std::next(found).base());
  return TRUE;
}

BOOL WINAPI GenerateConsoleCtrlEvent(DWORD dwCtrlEvent, DWORD dwProcessGroupId) {
  using namespace halvex::platform::win32;
  if (dwCtrlEvent != CTRL_C_EVENT && dwCtrlEvent != CTRL_BREAK_EVENT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwProcessGroupId != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // Only this process's own console group is known.
    return FALSE;
  }
  DispatchOnNewThread(dwCtrlEvent);
  return TRUE;
}

}  // extern "C"
