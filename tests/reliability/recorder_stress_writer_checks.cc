#include "tests/reliability/recorder_stress_writer_checks.h"

#include <algorithm>
#include <vector>

namespace halvex::stress {
namespace {

namespace mf = halvex::testing;

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kAudioRate = 48000;
// Streams in the order the recorder adds them.
constexpr DWORD kVideoStream = 0;
constexpr DWORD kAudioStream = 1;

::testing::AssertionResult CheckLifecycle(const mf::RecordedSinkWriter& writer,
                                          const ExpectedWriter& expected) {
  if (!writer.writing_begun) {
    return ::testing::AssertionFailure() << "writing never began";
  }
  if (writer.finalize_results != std::vector<HRESULT>{S_OK}) {
    return ::testing::AssertionFailure()
           << "finalised " << writer.finalize_results.size() << " times, expected once";
  }
  if (writer.alive) {
    return ::testing::AssertionFailure() << "the writer is still referenced after it ended";
  }
  const size_t streams = expected.audioStream ? 2 : 1;
  if (writer.streams.size() != streams) {
    return ::testing::AssertionFailure()
           << writer.streams.size() << " streams, expected " << streams;
  }
  for (const mf::RecordedSample& sample : writer.samples) {
    if (sample.stream_index >= streams) {
      return ::testing::AssertionFailure() << "a sample on stream " << sample.stream_index;
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult CheckVideo(const std::vector<mf::RecordedSample>& samples,
                                      const ExpectedWriter& expected) {
  int64_t index = 0;
  for (const mf::RecordedSample& sample : samples) {
    if (sample.stream_index != kVideoStream) {
      continue;
    }
    if (sample.time != index * expected.frameDuration) {
      return ::testing::AssertionFailure() << "video sample " << index << " at " << sample.time
                                           << ", expected " << index * expected.frameDuration;
    }
    if (sample.duration != expected.frameDuration) {
      return ::testing::AssertionFailure()
             << "video sample " << index << " lasts " << sample.duration.value_or(-1)
             << ", expected " << expected.frameDuration;
    }
    if (sample.length != expected.nv12Bytes) {
      return ::testing::AssertionFailure() << "video sample " << index << " holds " << sample.length
                                           << " bytes, expected " << expected.nv12Bytes;
    }
    ++index;
  }
  if (index != expected.frames) {
    return ::testing::AssertionFailure()
           << index << " video samples written, " << expected.frames << " frames reported";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult CheckAudio(const std::vector<mf::RecordedSample>& samples,
                                      const ExpectedWriter& expected) {
  // Each chunk's time and duration follow from the 48 kHz sample count written before it.
  int64_t position = 0;
  int chunk = 0;
  std::vector<int64_t> chunkLengths;
  for (const mf::RecordedSample& sample : samples) {
    if (sample.stream_index != kAudioStream) {
      continue;
    }
    if (sample.length == 0 || sample.length % 2 != 0) {
      return ::testing::AssertionFailure()
             << "audio chunk " << chunk << " holds " << sample.length << " bytes";
    }
    const int64_t count = sample.length / 2;
    const int64_t time = position * kTicksPerSecond / kAudioRate;
    const int64_t duration = count * kTicksPerSecond / kAudioRate;
    if (sample.time != time) {
      return ::testing::AssertionFailure()
             << "audio chunk " << chunk << " at " << sample.time << ", expected " << time
             << " after " << position << " samples";
    }
    if (sample.duration != duration) {
      return ::testing::AssertionFailure()
             << "audio chunk " << chunk << " of " << count << " samples lasts "
             << sample.duration.value_or(-1) << ", expected " << duration;
    }
    position += count;
    chunkLengths.push_back(count);
    ++chunk;
  }
  if (!expected.audioStream || !expected.endedByStop) {
    return ::testing::AssertionSuccess();
  }
  const int64_t videoEnd = expected.frames * expected.frameDuration * kAudioRate / kTicksPerSecond;
  if (position < videoEnd) {
    return ::testing::AssertionFailure()
           << "audio ends at sample " << position << ", the video at " << videoEnd;
  }
  if (!expected.stopReportedAudio) {
    // Nothing but silence: the padding of "stop", gaps and packets the device flagged silent.
    for (const mf::RecordedSample& sample : samples) {
      if (sample.stream_index == kAudioStream &&
          std::any_of(sample.bytes.begin(), sample.bytes.end(), [](BYTE b) { return b != 0; })) {
        return ::testing::AssertionFailure() << "no audio reported, yet a chunk holds sound";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

uint32_t Nv12Bytes(uint32_t width, uint32_t height) {
  const uint32_t evenWidth = width & ~1u;
  const uint32_t evenHeight = height & ~1u;
  const uint32_t pitch = (evenWidth + 15) & ~15u;
  return pitch * (evenHeight + evenHeight / 2);
}

::testing::AssertionResult CheckWriter(const mf::RecordedSinkWriter& writer,
                                       const ExpectedWriter& expected) {
  if (writer.url != expected.url) {
    return ::testing::AssertionFailure() << "a writer on another path than the recording's";
  }
  ::testing::AssertionResult result = CheckLifecycle(writer, expected);
  if (result) {
    result = CheckVideo(writer.samples, expected);
  }
  if (result) {
    result = CheckAudio(writer.samples, expected);
  }
  return result;
}

}  // namespace halvex::stress
