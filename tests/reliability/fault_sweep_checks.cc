#include "tests/reliability/fault_sweep_checks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tests/media/media_probe.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/reliability/recording_layout.h"

namespace halvex::fault_sweep {
namespace {

namespace standin = halvex::testing;
using testing_support::Answer;
using testing_support::FrameReport;
using Where = MissingAttribute::Where;

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kRecordingRate = 48000;
constexpr DWORD kNv12Bytes = kFrameWidth * (kFrameHeight + kFrameHeight / 2);
// A flat picture comes back from the encoder within a few levels.
constexpr int kLumaTolerance = 4;

struct Nv12Colour {
  uint8_t y, u, v;
};

// BT.601 studio range, as the video path converts.
Nv12Colour ConvertedColour(const std::array<uint8_t, 3>& bgr) {
  const int b = bgr[0];
  const int g = bgr[1];
  const int r = bgr[2];
  return {static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16),
          static_cast<uint8_t>(((112 * b - 74 * g - 38 * r + 128) >> 8) + 128),
          static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128)};
}

const standin::RecordedSinkWriter* RecordingWriter(const RecordingRun& run) {
  if (run.writers.empty() || !run.writers.back().writing_begun) {
    return nullptr;
  }
  return &run.writers.back();
}

int ExpectedWriters(const ExpectedRecording& expected) {
  const bool writes = !expected.startRefused && expected.writerOpens;
  return expected.discardedWriters + (writes ? 1 : 0);
}

void CheckAnswers(const RecordingRun& run, const ExpectedRecording& expected) {
  EXPECT_EQ(run.start.answers, 1);
  if (expected.startRefused) {
    EXPECT_EQ(run.start.kind, Answer::Kind::kError);
    EXPECT_EQ(run.start.code, "start_failed");
    EXPECT_EQ(run.start.message, "Could not start desktop recorder");
  } else {
    EXPECT_EQ(run.start.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(run.start.value,
              flutter::EncodableValue(flutter::EncodableMap{
                  {flutter::EncodableValue("hasAudioTrack"), flutter::EncodableValue(true)}}));
  }

  const std::vector<int> written = WrittenFrameCalls(expected);
  const std::vector<ExpectedAudioChunk> audio = ExpectedAudio(expected);
  bool capturesSound = false;
  bool audioBeforeStop = false;
  for (const ExpectedAudioChunk& chunk : audio) {
    capturesSound = capturesSound || chunk.packet >= 0;
    audioBeforeStop = audioBeforeStop || !chunk.atStop;
  }
  // Capture runs after the call that writes the third frame has answered.
  const int captureCall =
      written.size() >= kFramesBeforeAudio ? written[kFramesBeforeAudio - 1] : kFrameCalls + 1;

  ASSERT_EQ(run.frames.size(), static_cast<size_t>(kFrameCalls));
  int frames = 0;
  for (int call = 1; call <= kFrameCalls; ++call) {
    SCOPED_TRACE("appendPng call " + std::to_string(call));
    if (std::find(written.begin(), written.end(), call) != written.end()) {
      ++frames;
    }
    const FrameReply& reply = run.frames[static_cast<size_t>(call) - 1];
    const bool hasAudio = capturesSound && call > captureCall;
    EXPECT_EQ(reply.answer.answers, 1);
    EXPECT_EQ(reply.answer.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(reply.answer.value, FrameReport(frames, hasAudio));
    // What the reply says against what the writer got.
    EXPECT_EQ(reply.videoSamplesSoFar, frames);
    if (call != captureCall) {
      EXPECT_EQ(reply.audibleAudioSoFar, hasAudio);
    }
  }
  EXPECT_EQ(run.stop.answers, 1);
  EXPECT_EQ(run.stop.kind, Answer::Kind::kSuccess);
  // Silence the recorder wrote itself never counts as audio.
  EXPECT_EQ(run.stop.value, FrameReport(frames, capturesSound));
  EXPECT_EQ(run.audioSamplesBeforeStop > 0, audioBeforeStop);
}

const standin::AttributeList* TypeAt(const standin::RecordedSinkWriter& writer, Where where) {
  const size_t stream = where == Where::kAudioOutput || where == Where::kAudioInput ? 1 : 0;
  if (stream >= writer.streams.size()) {
    return nullptr;
  }
  const standin::RecordedStream& recorded = writer.streams[stream];
  if (where == Where::kVideoEncoding) {
    return recorded.encoding_parameters ? &*recorded.encoding_parameters : nullptr;
  }
  if (where == Where::kVideoInput || where == Where::kAudioInput) {
    return recorded.input_type ? &*recorded.input_type : nullptr;
  }
  return &recorded.output_type;
}

void CheckWriterSettings(const standin::RecordedSinkWriter& writer,
                         const ExpectedRecording& expected) {
  const std::optional<MissingAttribute>& missing = expected.missingAttribute;
  ASSERT_EQ(writer.attributes.has_value(), expected.writerAttributeStore);
  if (writer.attributes) {
    for (const GUID* key : {&MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS,
                            &MF_SINK_WRITER_DISABLE_THROTTLING, &MF_TRANSCODE_CONTAINERTYPE}) {
      const bool dropped =
          (missing && missing->where == Where::kWriterStore && IsEqualGUID(missing->key, *key)) ||
          (!expected.fragmented && key == &MF_TRANSCODE_CONTAINERTYPE);
      EXPECT_EQ(standin::FindAttribute(*writer.attributes, *key) != nullptr, !dropped);
    }
  }
  ASSERT_FALSE(writer.streams.empty());
  EXPECT_EQ(writer.streams[0].encoding_parameters.has_value(), expected.videoEncodingParameters);
  if (missing && missing->where != Where::kWriterStore) {
    const standin::AttributeList* type = TypeAt(writer, missing->where);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(standin::FindAttribute(*type, missing->key), nullptr)
        << "the type was recorded with the attribute whose setter failed";
  }
}

void CheckVideo(const standin::RecordedSinkWriter& writer, const ExpectedRecording& expected) {
  std::vector<const standin::RecordedSample*> samples;
  for (const standin::RecordedSample& sample : writer.samples) {
    if (sample.stream_index == 0) {
      samples.push_back(&sample);
    }
  }
  const std::vector<ExpectedVideoSample> wanted = ExpectedVideo(expected);
  ASSERT_EQ(samples.size(), wanted.size());
  for (size_t i = 0; i < wanted.size(); ++i) {
    SCOPED_TRACE("video sample " + std::to_string(i) + ", frame of call " +
                 std::to_string(wanted[i].call));
    const standin::RecordedSample& sample = *samples[i];
    EXPECT_EQ(sample.time, wanted[i].time);
    EXPECT_EQ(sample.duration, std::optional<LONGLONG>(kFrameDuration));
    ASSERT_EQ(sample.length, kNv12Bytes);
    ASSERT_EQ(sample.bytes.size(), kNv12Bytes);
    const Nv12Colour colour = ConvertedColour(FrameColour(wanted[i].call));
    const size_t lumaBytes = static_cast<size_t>(kFrameWidth) * kFrameHeight;
    size_t wrongBytes = 0;
    for (size_t b = 0; b < sample.bytes.size(); ++b) {
      const uint8_t want =
          b < lumaBytes ? colour.y : ((b - lumaBytes) % 2 == 0 ? colour.u : colour.v);
      wrongBytes += sample.bytes[b] != want ? 1 : 0;
    }
    EXPECT_EQ(wrongBytes, 0u) << "the sample does not hold the frame of its call";
  }
}

void CheckAudio(const standin::RecordedSinkWriter& writer, const ExpectedRecording& expected) {
  std::vector<const standin::RecordedSample*> samples;
  for (const standin::RecordedSample& sample : writer.samples) {
    if (sample.stream_index == 1) {
      samples.push_back(&sample);
    }
  }
  const std::vector<ExpectedAudioChunk> wanted = ExpectedAudio(expected);
  ASSERT_EQ(samples.size(), wanted.size()) << "audio chunks written";
  for (size_t i = 0; i < wanted.size(); ++i) {
    SCOPED_TRACE("audio chunk " + std::to_string(i));
    const standin::RecordedSample& sample = *samples[i];
    const ExpectedAudioChunk& chunk = wanted[i];
    EXPECT_EQ(sample.time, chunk.position * kTicksPerSecond / kRecordingRate);
    EXPECT_EQ(sample.duration,
              std::optional<LONGLONG>(chunk.length * kTicksPerSecond / kRecordingRate));
    ASSERT_EQ(sample.bytes.size(), static_cast<size_t>(chunk.length) * 2);
    const int16_t value =
        chunk.packet < 0 ? 0 : PacketValue(kPackets[static_cast<size_t>(chunk.packet)]);
    size_t wrongSamples = 0;
    for (size_t b = 0; b < sample.bytes.size(); b += 2) {
      int16_t got = 0;
      std::memcpy(&got, &sample.bytes[b], sizeof(got));
      wrongSamples += got != value ? 1 : 0;
    }
    EXPECT_EQ(wrongSamples, 0u) << "expected every sample to be " << value;
  }
}

void CheckWriters(const RecordingRun& run, const ExpectedRecording& expected) {
  ASSERT_EQ(static_cast<int>(run.writers.size()), ExpectedWriters(expected)) << "writers made";
  for (int i = 0; i < expected.discardedWriters; ++i) {
    SCOPED_TRACE("discarded writer " + std::to_string(i));
    const standin::RecordedSinkWriter& writer = run.writers[static_cast<size_t>(i)];
    EXPECT_FALSE(writer.writing_begun);
    EXPECT_TRUE(writer.samples.empty());
    EXPECT_TRUE(writer.finalize_results.empty());
    EXPECT_FALSE(writer.alive);
  }
  if (ExpectedWriters(expected) == expected.discardedWriters) {
    return;
  }
  const standin::RecordedSinkWriter& writer = run.writers.back();
  ASSERT_TRUE(writer.writing_begun);
  EXPECT_FALSE(writer.alive);
  EXPECT_EQ(writer.finalize_results, std::vector<HRESULT>{expected.finalizeResult});
  ASSERT_EQ(writer.streams.size(), expected.audioStream ? 2u : 1u);
  EXPECT_EQ(VideoStreamIndex(writer), 0);
  if (expected.audioStream) {
    EXPECT_TRUE(IsAudioStream(writer, 1));
  }
  CheckWriterSettings(writer, expected);
  CheckVideo(writer, expected);
  CheckAudio(writer, expected);
}

void CheckNothingLeft(const RecordingRun& run) {
  EXPECT_EQ(run.liveObjectsAfter, run.liveObjectsBefore) << "COM objects left alive";
  EXPECT_EQ(run.taskMemoryAfter, run.taskMemoryBefore) << "task memory left allocated";
  EXPECT_EQ(run.overReleases, 0) << "objects released once too often";
  EXPECT_EQ(run.callsOnReleasedObjects, 0);
  EXPECT_EQ(run.platformApartmentInits, 1) << "the platform thread's apartment was changed";
}

void CheckFile(const RecordingRun& run, const ExpectedRecording& expected, FileCheck fileCheck) {
  const standin::RecordedSinkWriter* writer = RecordingWriter(run);
  if (writer == nullptr) {
    EXPECT_FALSE(run.fileExists) << "a file without a frame was left at " << run.path;
    return;
  }
  const int frames = static_cast<int>(WrittenFrameCalls(expected).size());
  if (frames == 0 || FAILED(expected.finalizeResult)) {
    return;
  }
  ASSERT_TRUE(run.fileExists) << run.path;
  switch (expected.layout) {
    case ExpectedRecording::Layout::kPlain:
      EXPECT_EQ(reliability_testing::FileLayout(run.path), "plain");
      break;
    case ExpectedRecording::Layout::kFragmented:
      EXPECT_EQ(reliability_testing::FileLayout(run.path), "fragmented");
      break;
    case ExpectedRecording::Layout::kEither:
      EXPECT_THAT(reliability_testing::FileLayout(run.path),
                  ::testing::AnyOf("plain", "fragmented"));
      break;
  }
  const media_testing::Probe probe = media_testing::ProbeFile(run.path);
  ASSERT_TRUE(probe.ok) << probe.error;
  const std::vector<media_testing::ProbedEntry> video = probe.StreamsOf("video");
  ASSERT_EQ(video.size(), 1u);
  // Only a plain file's index states its frame count; fragments are counted by reading them.
  if (expected.layout == ExpectedRecording::Layout::kPlain) {
    EXPECT_EQ(video[0].Integer("nb_frames"), frames);
  }
  EXPECT_EQ(probe.PacketsOf("video").size(), static_cast<size_t>(frames));
  EXPECT_EQ(probe.StreamsOf("audio").size(), expected.audioStream ? 1u : 0u);
  if (fileCheck != FileCheck::kDecode) {
    return;
  }

  // Playable: every picture decodes, in order, to the colour of the frame it came from.
  std::vector<uint8_t> pictures;
  ASSERT_TRUE(media_testing::DecodeVideo(run.path, "nv12", &pictures));
  const std::vector<ExpectedVideoSample> wanted = ExpectedVideo(expected);
  ASSERT_EQ(pictures.size(), wanted.size() * kNv12Bytes);
  for (size_t i = 0; i < wanted.size(); ++i) {
    const uint8_t* luma = pictures.data() + i * kNv12Bytes;
    const int centre = luma[(kFrameHeight / 2) * kFrameWidth + kFrameWidth / 2];
    EXPECT_NEAR(centre, ConvertedColour(FrameColour(wanted[i].call)).y, kLumaTolerance)
        << "decoded picture " << i;
  }
}

size_t StreamsOfWriterUsed(const RecordingRun& run) {
  const standin::RecordedSinkWriter* writer = RecordingWriter(run);
  return writer == nullptr ? 0 : writer->streams.size();
}

}  // namespace

const ExpectedRecording& MatchingAlternative(const RecordingRun& run,
                                             const std::vector<ExpectedRecording>& alternatives) {
  for (const ExpectedRecording& alternative : alternatives) {
    const bool writes = ExpectedWriters(alternative) > alternative.discardedWriters;
    const size_t streams = writes ? (alternative.audioStream ? 2 : 1) : 0;
    if (static_cast<int>(run.writers.size()) == ExpectedWriters(alternative) &&
        StreamsOfWriterUsed(run) == streams) {
      return alternative;
    }
  }
  return alternatives.front();
}

void CheckRecording(const RecordingRun& run,
                    const ExpectedRecording& expected,
                    FileCheck fileCheck) {
  SCOPED_TRACE("expected outcome: " + expected.outcome);
  EXPECT_TRUE(run.captureSettled) << "audio capture did not reach the expected point in time";
  CheckAnswers(run, expected);
  CheckWriters(run, expected);
  CheckNothingLeft(run);
  if (fileCheck != FileCheck::kNone) {
    CheckFile(run, expected, fileCheck);
  }
}

}  // namespace halvex::fault_sweep
