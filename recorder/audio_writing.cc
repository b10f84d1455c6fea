#include <algorithm>
#include <new>
#include <vector>

#include "recorder/audio_conversion.h"
#include "recorder/audio_timeline.h"
#include "recorder/desktop_recorder.h"
#include "recorder/media_sample.h"

namespace halvex {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;

// The media buffer's length is a 32-bit byte count; longer chunks are refused, never truncated.
constexpr int64_t kMaxSamplesPerWrite = UINT32_MAX / sizeof(int16_t);

}  // namespace

bool DesktopRecorder::WriteAudioSamples(const int16_t* samples, int64_t count, bool audible) {
  if (samples == nullptr || count <= 0 || count > kMaxSamplesPerWrite || !sinkWriter ||
      !audioStreamPresent) {
    return false;
  }
  const DWORD bytes = static_cast<DWORD>(count * static_cast<int64_t>(sizeof(int16_t)));
  ComPtr<IMFSample> sample =
      CreateMediaSample(reinterpret_cast<const uint8_t*>(samples), bytes,
                        audioPosition * kTicksPerSecond / kRecordingSampleRate,
                        count * kTicksPerSecond / kRecordingSampleRate);
  if (!sample || FAILED(sinkWriter->WriteSample(audioStreamIndex, sample.Get()))) {
    return false;
  }
  audioPosition += count;
  ++audioChunksWritten;
  if (audible) {
    audibleAudioWritten = true;
  }
  return true;
}

void DesktopRecorder::PadAudioToVideo() {
  if (!audioStreamPresent || !sinkWriter || videoFrameIndex <= 0) {
    return;
  }
  PadAudioTo(videoFrameIndex * frameDuration * kRecordingSampleRate / kTicksPerSecond);
}

int64_t DesktopRecorder::AudioPositionOfVideoAt(int64_t time) const {
  if (videoFrameIndex <= 0) {
    return 0;
  }
  CaptureTimeline video;
  video.Anchor(videoStartTime, 0);
  return video.PositionAt(time);
}

void DesktopRecorder::PadAudioTo(int64_t position) {
  if (!audioStreamPresent || !sinkWriter || position <= audioPosition) {
    return;
  }
  int64_t missing = position - audioPosition;
  std::vector<int16_t> silence;
  try {
    // At most one second of silence, written as often as needed.
    silence.resize(static_cast<size_t>(std::min<int64_t>(missing, kRecordingSampleRate)));
  } catch (const std::bad_alloc&) {
    return;
  }
  while (missing > 0) {
    const int64_t count = std::min(static_cast<int64_t>(silence.size()), missing);
    if (!WriteAudioSamples(silence.data(), count, false)) {
      return;
    }
    missing -= count;
  }
}

}  // namespace halvex
