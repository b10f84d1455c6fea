// Where captured sound goes on the recording's audio time line: by the capture clock, not by the
// count of samples written, so that quiet stretches, silent packets and device changes keep their
// real length and the sound stays with its picture. Pure logic on plain values.
#ifndef HALVEX_RECORDER_AUDIO_TIMELINE_H_
#define HALVEX_RECORDER_AUDIO_TIMELINE_H_

#include <cstdint>

namespace halvex {

// 100-ns ticks of the capture clock (the performance counter) in one second.
constexpr int64_t kCaptureClockTicksPerSecond = 10000000;

// A packet that follows on from the one before without a break is placed straight after it while
// its clock time agrees within this many 48 kHz samples (20 ms): clocks that differ slightly
// (the device's and the performance counter) then cost no click for every packet.
constexpr int64_t kFollowOnTolerance = 960;

// Maps capture-clock times to positions on the audio time line (48 kHz samples), from the anchor
// that the recording's first packet sets.
class CaptureTimeline {
 public:
  bool anchored() const { return anchored_; }

  // The packet captured at `time` lies at `position`.
  void Anchor(int64_t time, int64_t position) {
    anchored_ = true;
    anchorTime_ = time;
    anchorPosition_ = position;
  }

  // The position of sound captured at `time`, rounded down to a whole sample; never below 0.
  int64_t PositionAt(int64_t time) const;

 private:
  bool anchored_ = false;
  int64_t anchorTime_ = 0;
  int64_t anchorPosition_ = 0;
};

// How a chunk of `length` samples that belongs at `target` joins audio written up to `end`.
struct ChunkPlacement {
  int64_t silence = 0;  // samples of silence to write first
  int64_t skip = 0;     // leading samples of the chunk that lie behind the end, not written
};

// A chunk that follows on from the last one lands at the end unless its time has moved away by more
// than kFollowOnTolerance; any other chunk lands exactly at its target: a gap before it is filled
// with silence to the sample, and what would overlap audio already written is left out.
ChunkPlacement PlaceChunk(int64_t target, int64_t end, int64_t length, bool followsOn);

// The continuity of one capture stream: whether each packet follows on from the one before, by
// the device's own count of frames.
class StreamContinuity {
 public:
  // Whether a packet at `devicePosition` follows on from the last packet seen without a break
  // (`discontinuity`: the device says one happened). Remembers the packet.
  bool FollowsOn(uint64_t devicePosition, uint32_t frames, bool discontinuity) {
    const bool followsOn = seen_ && !discontinuity && devicePosition == nextPosition_;
    seen_ = true;
    nextPosition_ = devicePosition + frames;
    return followsOn;
  }

 private:
  bool seen_ = false;
  uint64_t nextPosition_ = 0;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_AUDIO_TIMELINE_H_
