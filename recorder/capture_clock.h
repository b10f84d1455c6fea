// The capture clock: the performance counter, in the 100-ns ticks that audio packets are timed in.
#ifndef HALVEX_RECORDER_CAPTURE_CLOCK_H_
#define HALVEX_RECORDER_CAPTURE_CLOCK_H_

#include <cstdint>

namespace halvex {

// Now on the capture clock, in 100-ns ticks; 0 if the counter cannot be read.
int64_t CaptureClockNow();

}  // namespace halvex

#endif  // HALVEX_RECORDER_CAPTURE_CLOCK_H_
