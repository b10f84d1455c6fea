// Beeps into the system's sound output at given moments: the demo plays one with each flash of its
// scene, so that a recording shows whether its sound stays with its picture.
#ifndef HALVEX_APP_BEEPER_H_
#define HALVEX_APP_BEEPER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halvex {
namespace demo {

class Beeper {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~Beeper() = default;

  // Plays a beep that starts sounding at `when` (as near as the output allows); a moment already
  // past plays at once.
  virtual void BeepAt(Clock::time_point when) = 0;
};

// A beeper on the system's default output, or null when there is none; `status` says which, in a
// few words for the demo's summary.
std::unique_ptr<Beeper> CreateBeeper(std::string* status);

// The beep: a 1 kHz tone of 100 ms at half of full scale, faded in and out over 5 ms so that it
// starts and ends without a click, as 16-bit samples at `rate`.
std::vector<int16_t> BeepSamples(int rate);

// Adds the part of each beep that falls into `chunk`, whose first sample is sample `first` of the
// output; each beep begins at the output sample given in `starts`. Beeps that overlap add up,
// limited to the 16-bit range.
void MixBeeps(int64_t first,
              const std::vector<int64_t>& starts,
              const std::vector<int16_t>& beep,
              std::vector<int16_t>* chunk);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_BEEPER_H_
