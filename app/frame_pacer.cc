#include "app/frame_pacer.h"

#include <thread>

namespace halvex {
namespace demo {

FramePacer::FramePacer(double fps, bool paced) : fps_(fps), paced_(paced), start_(Clock::now()) {}

FramePacer::Clock::duration FramePacer::OffsetOf(int64_t index) const {
  if (!paced_ || fps_ <= 0 || index <= 0) {
    return Clock::duration::zero();
  }
  const std::chrono::duration<double> seconds(static_cast<double>(index) / fps_);
  return std::chrono::duration_cast<Clock::duration>(seconds);
}

void FramePacer::WaitUntilDue(int64_t index) const {
  if (paced_) {
    std::this_thread::sleep_until(start_ + OffsetOf(index));
  }
}

double FramePacer::ElapsedSeconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

}  // namespace demo
}  // namespace halvex
