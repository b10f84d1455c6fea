// The performance counter behind QueryPerformanceCounter and the audio packets' times.
#ifndef HALVEX_STANDIN_WIN32_PERFORMANCE_COUNTER_H_
#define HALVEX_STANDIN_WIN32_PERFORMANCE_COUNTER_H_

#include <cstdint>

namespace halvex::platform {

constexpr int64_t kPerformanceCounterFrequency = 10000000;  // 100-ns ticks

// Now, in 100-ns ticks of the system's monotonic clock, or the test's stopped value.
int64_t PerformanceCounterTicks();

// The system's monotonic clock in 100-ns ticks, whatever a test set: for times taken from the
// sound server, which runs on that clock.
int64_t MonotonicClockTicks();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WIN32_PERFORMANCE_COUNTER_H_
