#include "tests/reliability/fault_sweep_expectations.h"

#include <algorithm>
#include <cmath>

#include "recorder/audio_timeline.h"

namespace halvex::fault_sweep {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kRecordingRate = 48000;
constexpr int64_t kLongestPad = kRecordingRate;  // one second of silence per write
constexpr int16_t kSilenceBand = 180;

int64_t AudioTarget(int videoFrames) {
  return videoFrames * kFrameDuration * kRecordingRate / kTicksPerSecond;
}

// The first packet is captured while the third frame's picture begins (the frames all arrive at
// one moment of the stopped clock): it belongs at that frame's start.
int64_t FirstPacketPosition() {
  return (kFramesBeforeAudio - 1) * kFrameDuration * kRecordingRate / kTicksPerSecond;
}

// Follows the documented capture and padding rules write by write, so that one failing write
// leaves the time line the documentation describes.
class AudioTimeline {
 public:
  AudioTimeline(int failingWrite, std::vector<ExpectedAudioChunk>* chunks)
      : failingWrite_(failingWrite), chunks_(chunks) {}

  int64_t position() const { return position_; }
  void StopBegins() { stopping_ = true; }

  bool Write(int packet, int64_t length) {
    ++writes_;
    if (writes_ == failingWrite_) {
      return false;
    }
    if (chunks_ != nullptr) {
      chunks_->push_back({packet, position_, length, stopping_});
    }
    position_ += length;
    return true;
  }

  // WriteAudioSamples calls so far, failed ones included.
  int writes() const { return writes_; }

  void PadTo(int videoFrames) {
    if (videoFrames > 0) {
      PadToPosition(AudioTarget(videoFrames));
    }
  }

  void PadToPosition(int64_t target) {
    if (target <= position_) {
      return;
    }
    int64_t missing = target - position_;
    const int64_t block = std::min(missing, kLongestPad);
    while (missing > 0) {
      const int64_t length = std::min(block, missing);
      if (!Write(-1, length)) {
        return;
      }
      missing -= length;
    }
  }

 private:
  int failingWrite_;
  std::vector<ExpectedAudioChunk>* chunks_;
  int64_t position_ = 0;
  int writes_ = 0;
  bool stopping_ = false;
};

// Capture runs while the platform thread waits after the third frame; "stop" pads at the end.
// Packets follow on from each other on the device's clock; a silent one is written as silence of
// its length; the placement rule fills what a failed write left out once it exceeds the
// tolerance of a running stream.
void RunAudio(const ExpectedRecording& expected, AudioTimeline* timeline) {
  const int taken = std::min(expected.packetsTaken, static_cast<int>(kPackets.size()));
  for (int i = 0; i < taken; ++i) {
    const ScriptedPacket& packet = kPackets[static_cast<size_t>(i)];
    const int64_t target = FirstPacketPosition() + i * int64_t{kPacketFrames};
    const ChunkPlacement placement =
        PlaceChunk(target, timeline->position(), kPacketFrames, /*followsOn=*/i > 0);
    if (placement.silence > 0) {
      timeline->PadToPosition(timeline->position() + placement.silence);
    }
    // The device runs at the recording's rate: a packet is written as it came, one sample a frame.
    timeline->Write(packet.flaggedSilent ? -1 : i, kPacketFrames - placement.skip);
  }
}

}  // namespace

ExpectedRecording FullRecording() {
  ExpectedRecording expected;
  expected.outcome = "the full recording";
  return expected;
}

CaptureSettle SettleFor(const ExpectedRecording& expected) {
  if (expected.startRefused || !expected.writerOpens || !expected.audioStream) {
    return {};
  }
  const int taken = std::min(expected.packetsTaken, static_cast<int>(kPackets.size()));
  if (taken == 0) {
    return {CaptureSettle::Kind::kEndsWithoutPackets, 0};
  }
  return {CaptureSettle::Kind::kReleases, taken};
}

std::vector<int> WrittenFrameCalls(const ExpectedRecording& expected) {
  std::vector<int> calls;
  if (expected.startRefused || !expected.writerOpens) {
    return calls;
  }
  for (int call = 1; call <= kFrameCalls; ++call) {
    if (call != expected.droppedFrameCall) {
      calls.push_back(call);
    }
  }
  return calls;
}

std::vector<ExpectedVideoSample> ExpectedVideo(const ExpectedRecording& expected) {
  std::vector<ExpectedVideoSample> samples;
  int64_t index = 0;
  for (int call : WrittenFrameCalls(expected)) {
    samples.push_back({call, index * kFrameDuration});
    ++index;
  }
  return samples;
}

std::vector<ExpectedAudioChunk> ExpectedAudio(const ExpectedRecording& expected) {
  std::vector<ExpectedAudioChunk> chunks;
  const std::vector<int> frames = WrittenFrameCalls(expected);
  if (!expected.audioStream || frames.empty()) {
    return chunks;
  }
  AudioTimeline timeline(expected.failingAudioWrite, &chunks);
  RunAudio(expected, &timeline);
  timeline.StopBegins();
  timeline.PadTo(static_cast<int>(frames.size()));
  return chunks;
}

std::vector<SampleWrite> ReferenceSampleWrites() {
  std::vector<SampleWrite> writes;
  for (int call = 1; call <= kFramesBeforeAudio; ++call) {
    writes.push_back({true, call});
  }
  AudioTimeline timeline(0, nullptr);
  RunAudio(FullRecording(), &timeline);
  for (int write = 1; write <= timeline.writes(); ++write) {
    writes.push_back({false, write});
  }
  for (int call = kFramesBeforeAudio + 1; call <= kFrameCalls; ++call) {
    writes.push_back({true, call});
  }
  const int captureWrites = timeline.writes();
  timeline.PadTo(kFrameCalls);
  for (int write = captureWrites + 1; write <= timeline.writes(); ++write) {
    writes.push_back({false, write});
  }
  return writes;
}

int16_t PacketValue(const ScriptedPacket& packet) {
  const float mean = (packet.left + packet.right) / 2.0f;
  const float limited = std::max(-1.0f, std::min(1.0f, mean));
  return static_cast<int16_t>(std::lroundf(limited * 32767.0f));
}

}  // namespace halvex::fault_sweep
