// QueryPerformanceCounter on the system's monotonic clock, which the sound server's timing uses
// too, so that packet times and frame times share one time line.
#include "win32_performance_counter.h"

#include <windows.h>

#include <atomic>
#include <chrono>

#include "windows_testing/clock.h"

namespace halvex::platform {
namespace {

// The stopped value a test set, or kRunning.
constexpr int64_t kRunning = INT64_MIN;
std::atomic<int64_t> stopped_ticks{kRunning};

}  // namespace

int64_t MonotonicClockTicks() {
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, kPerformanceCounterFrequency>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t PerformanceCounterTicks() {
  const int64_t stopped = stopped_ticks.load();
  return stopped != kRunning ? stopped : MonotonicClockTicks();
}

}  // namespace halvex::platform

namespace halvex::testing {

void SetPerformanceCounter(int64_t ticks) {
  platform::stopped_ticks.store(ticks == platform::kRunning ? ticks + 1 : ticks);
}

void AdvancePerformanceCounter(int64_t ticks) {
  int64_t current = platform::stopped_ticks.load();
  while (current != platform::kRunning &&
         !platform::stopped_ticks.compare_exchange_weak(current, current + ticks)) {
  }
}

int64_t PerformanceCounterNow() {
  return platform::PerformanceCounterTicks();
}

void UsePerformanceCounterOfTheSystem() {
  platform::stopped_ticks.store(platform::kRunning);
}

}  // namespace halvex::testing

extern "C" {

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
  if (lpPerformanceCount == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpPerformanceCount->QuadPart = halvex::platform::PerformanceCounterTicks();
  return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
  if (lpFrequency == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  lpFrequency->QuadPart = halvex::platform::kPerformanceCounterFrequency;
  return TRUE;
}

}  // extern "C"
