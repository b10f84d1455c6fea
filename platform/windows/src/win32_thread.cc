// Last error, thread identity, priority and sleeping.
#include <windows.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "fault_injection.h"

namespace {

thread_local DWORD last_error = 0;
thread_local int thread_priority = THREAD_PRIORITY_NORMAL;

// What GetCurrentThread returns, as on Windows.
HANDLE CurrentThreadPseudoHandle() {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
}

bool IsThreadPriority(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
      return true;
    default:
      return false;
  }
}

// Windows runs a ready thread of higher priority before any of lower priority. Here, below normal
// is a much smaller share of a busy processor (nice 10, or 19 for lowest), which keeps such a
// thread from preempting a normal one when it wakes, while threads of equal priority share as
// usual; idle runs only when nothing else would. Raising a thread above normal needs privileges
// here, so those priorities keep it at normal.
bool ApplyThreadPriority(int priority) {
  int policy = SCHED_OTHER;
  int niceness = 0;
  if (priority == THREAD_PRIORITY_IDLE) {
    policy = SCHED_IDLE;
  } else if (priority == THREAD_PRIORITY_LOWEST) {
    niceness = 19;
  } else if (priority == THREAD_PRIORITY_BELOW_NORMAL) {
    niceness = 10;
  }
  const sched_param parameters{};
  if (sched_setscheduler(0, policy, &parameters) != 0) {
    return false;
  }
  const auto thread = static_cast<id_t>(syscall(SYS_gettid));
  // Going back from a smaller share to normal needs privileges; the policy alone is then changed.
  return setpriority(PRIO_PROCESS, thread, niceness) == 0 || niceness == 0;
}

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

HANDLE WINAPI GetCurrentThread() {
  return CurrentThreadPseudoHandle();
}

BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  if (const std::optional<HRESULT> fault = halvex::platform::CheckFault("SetThreadPriority")) {
    SetLastError(HRESULT_CODE(*fault));
    return FALSE;
  }
  if (hThread != CurrentThreadPseudoHandle()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!IsThreadPriority(nPriority)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!ApplyThreadPriority(nPriority)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  thread_priority = nPriority;
  return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
  if (hThread != CurrentThreadPseudoHandle()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return THREAD_PRIORITY_ERROR_RETURN;
  }
  return thread_priority;
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
