// Sends frames at the recording's rate: frame n is due n / fps seconds after the first.
#ifndef HALVEX_APP_FRAME_PACER_H_
#define HALVEX_APP_FRAME_PACER_H_

#include <chrono>
#include <cstdint>

namespace halvex {
namespace demo {

class FramePacer {
 public:
  using Clock = std::chrono::steady_clock;

  // With `paced` false every frame is due at once. The clock starts now.
  FramePacer(double fps, bool paced);

  // Offset of frame `index` from the start. Computed from the index, never by adding up periods,
  // so rounding does not accumulate over a long recording.
  Clock::duration OffsetOf(int64_t index) const;

  // When frame `index` is due: its offset from the start.
  Clock::time_point DueTime(int64_t index) const { return start_ + OffsetOf(index); }

  // Sleeps until frame `index` is due. A frame that is already late is not waited for: the
  // pacer never skips frames to catch up, it only stops waiting.
  void WaitUntilDue(int64_t index) const;

  double ElapsedSeconds() const;

 private:
  double fps_;
  bool paced_;
  Clock::time_point start_;
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_FRAME_PACER_H_
