#include "recorder/capture_clock.h"

#include <windows.h>

#include "recorder/audio_timeline.h"

namespace halvex {

int64_t CaptureClockNow() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
      !QueryPerformanceCounter(&counter)) {
    return 0;
  }
  // Whole seconds and the rest apart: the counter times the frequency would overflow.
  const int64_t seconds = counter.QuadPart / frequency.QuadPart;
  const int64_t rest = counter.QuadPart % frequency.QuadPart;
  return seconds * kCaptureClockTicksPerSecond +
         rest * kCaptureClockTicksPerSecond / frequency.QuadPart;
}

}  // namespace halvex
