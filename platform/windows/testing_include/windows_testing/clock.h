// Test controls for the Windows stand-in's performance counter, which times video frames and
// audio packets alike. Product code never includes this header.
#ifndef HALVEX_WINDOWS_TESTING_CLOCK_H_
#define HALVEX_WINDOWS_TESTING_CLOCK_H_

#include <cstdint>

namespace halvex::testing {

// Stops the counter at `ticks` (100-ns units): it moves only with AdvancePerformanceCounter, so
// that times seen by the code under test are exact.
void SetPerformanceCounter(int64_t ticks);

// Moves a stopped counter on by `ticks`; does nothing while the counter runs.
void AdvancePerformanceCounter(int64_t ticks);

// The counter as QueryPerformanceCounter reads it, in 100-ns units.
int64_t PerformanceCounterNow();

// Lets the counter run with the system's monotonic clock again, as in a process that never set it.
void UsePerformanceCounterOfTheSystem();

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_CLOCK_H_
