#include "recorder/audio_timeline.h"

#include <algorithm>

#include "recorder/audio_conversion.h"

namespace halvex {
namespace {

// Far beyond any recording (about 58 years of samples), yet safe to add to a position.
constexpr int64_t kFarthestPosition = INT64_C(1) << 46;

}  // namespace

int64_t CaptureTimeline::PositionAt(int64_t time) const {
  // A device may report any time at all: differences that do not fit are pinned far away.
  int64_t elapsed = 0;
  if (__builtin_sub_overflow(time, anchorTime_, &elapsed)) {
    elapsed = time < anchorTime_ ? INT64_MIN : INT64_MAX;
  }
  // Whole seconds and the rest apart, so that no product overflows; rounded down throughout.
  int64_t seconds = elapsed / kCaptureClockTicksPerSecond;
  int64_t rest = elapsed % kCaptureClockTicksPerSecond;
  if (rest < 0) {
    rest += kCaptureClockTicksPerSecond;
    --seconds;
  }
  const int64_t samples =
      seconds * kRecordingSampleRate + rest * kRecordingSampleRate / kCaptureClockTicksPerSecond;
  return std::clamp<int64_t>(anchorPosition_ + samples, 0, kFarthestPosition);
}

ChunkPlacement PlaceChunk(int64_t target, int64_t end, int64_t length, bool followsOn) {
  ChunkPlacement placement;
  const int64_t drift = target - end;
  if (followsOn && drift <= kFollowOnTolerance && drift >= -kFollowOnTolerance) {
    return placement;
  }
  if (drift > 0) {
    placement.silence = drift;
  } else {
    placement.skip = std::min(-drift, length);
  }
  return placement;
}

}  // namespace halvex
