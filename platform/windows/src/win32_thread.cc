// Last error, thread identity and sleeping.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

thread_local DWORD last_error = 0;

// Windows thread identifiers are multiples of four and are not reused while a test runs.
DWORD NextThreadId() {
  static std::atomic<DWORD> next{0x1000};
  return next.fetch_add(4);
}

}  // namespace

extern "C" {

DWORD WINAPI GetLastError() {
  return last_error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
  last_error = dwErrCode;
}

DWORD WINAPI GetCurrentThreadId() {
  thread_local const DWORD id = NextThreadId();
  return id;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::hours(24));
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

}  // extern "C"
