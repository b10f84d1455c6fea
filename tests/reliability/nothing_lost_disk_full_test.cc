// A recording whose disk fills up: the frames that can no longer be written stop counting, every
// call is still answered, and the file stays, playable up to its last whole fragment, to be
// finished once there is room. The full disk is a file size limit on this process, lifted before
// the test goes on.
#include <gtest/gtest.h>
#include <mfapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "recorder/desktop_recorder.h"
#include "tests/media/file_size_limit.h"
#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/nothing_lost_support.h"
#include "tests/reliability/recording_layout.h"
#include "windows_testing/audio.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace standin = halvex::testing;
using flutter::EncodableMap;
using flutter::EncodableValue;
using media_testing::FileExists;
using media_testing::FileSizeLimit;
using media_testing::ScratchFolder;
using nothing_lost_testing::QueueLoudPackets;
using nothing_lost_testing::SendAppendPng;
using nothing_lost_testing::SendStart;
using testing_support::Answer;
using testing_support::CallRecorder;
using testing_support::FrameReport;

// Noise does not compress: at this size every frame adds a few kilobytes to the file, and a
// fragment (two seconds of video) a few hundred; the space holds the first ones, not all.
constexpr UINT kWidth = 640;
constexpr UINT kHeight = 480;
constexpr rlim_t kDiskSpace = 700 * 1024;
constexpr int64_t kFrameDuration = 333333;
constexpr int kNoiseImages = 8;
// Far more frames than fit, even once the writer's output buffer is counted.
constexpr int kMostFrames = 300;
// Once a write has failed, every later one fails too: the count stands still for good.
constexpr int kStandstill = 10;
// 40 ms of sound for every 33 ms frame, so that the sound never runs out and the writer never
// holds the picture back waiting for it.
constexpr int kPacketsPerFrame = 4;

std::vector<uint8_t> NoisePixels(int seed) {
  std::vector<uint8_t> pixels(size_t{kWidth} * kHeight * 4);
  uint32_t state = 2654435761u * static_cast<uint32_t>(seed + 1);
  for (size_t i = 0; i < pixels.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    pixels[i] = (i % 4 == 3) ? 0xFF : static_cast<uint8_t>(state >> 24);
  }
  return pixels;
}

// The "frames" and "hasAudio" of a frame report; frames is -1 when the answer is no report.
struct Report {
  int32_t frames = -1;
  bool hasAudio = false;
};

Report ReadReport(const Answer& answer) {
  Report report;
  const auto* map = std::get_if<EncodableMap>(&answer.value);
  if (answer.kind != Answer::Kind::kSuccess || map == nullptr) {
    return report;
  }
  const EncodableValue* frames = flutter::LookupTextKey(*map, "frames");
  const EncodableValue* hasAudio = flutter::LookupTextKey(*map, "hasAudio");
  if (frames == nullptr || hasAudio == nullptr || !std::holds_alternative<int32_t>(*frames) ||
      !std::holds_alternative<bool>(*hasAudio)) {
    return report;
  }
  report.frames = std::get<int32_t>(*frames);
  report.hasAudio = std::get<bool>(*hasAudio);
  return report;
}

class DiskFullTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    if (!media_testing::MediaToolsAvailable()) {
      GTEST_SKIP() << media_testing::kMediaToolsMissing;
    }
    DesktopRecorder::Instance().Stop();
    standin::DecodeRealImages();
    for (int i = 0; i < kNoiseImages; ++i) {
      noise_.push_back(
          testing_support::ScriptedPng(static_cast<UINT>(i + 1), kWidth, kHeight, NoisePixels(i)));
    }
  }

  void TearDown() override {
    DesktopRecorder::Instance().Stop();
    RecorderTest::TearDown();
  }

  ScratchFolder folder_;
  std::vector<std::vector<uint8_t>> noise_;
};

TEST_F(DiskFullTest, FramesStopCountingStopAnswersAndTheFilePlaysUpToItsLastFragment) {
  struct Case {
    const char* name;
    bool withAudio;
  };
  const std::vector<Case> cases = {{"video only", false}, {"capturing system audio", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::ResetMediaFoundation();
    standin::WriteMediaFiles();
    standin::KeepSampleBytes(false);
    standin::ResetAudio();
    if (c.withAudio) {
      ASSERT_TRUE(standin::SetDefaultAudioDevice(standin::MixFormat{}));
    }
    const std::string path = folder_.File(std::string(c.withAudio ? "av" : "video") + ".mp4");
    const Answer started = SendStart(path, c.withAudio);
    ASSERT_EQ(started.kind, Answer::Kind::kSuccess);

    Report last{0, false};
    bool everHadAudio = false;
    int appended = 0;
    int unchanged = 0;
    Answer stopped;
    {
      const FileSizeLimit limit(kDiskSpace);
      while (appended < kMostFrames && unchanged < kStandstill) {
        if (c.withAudio) {
          ASSERT_TRUE(QueueLoudPackets(kPacketsPerFrame));
        }
        const Answer answer = SendAppendPng(noise_[static_cast<size_t>(appended % kNoiseImages)]);
        ++appended;
        const Report report = ReadReport(answer);
        ASSERT_EQ(answer.answers, 1);
        ASSERT_GE(report.frames, last.frames) << "frame " << appended;
        ASSERT_LE(report.frames, last.frames + 1) << "frame " << appended;
        unchanged = report.frames == last.frames ? unchanged + 1 : 0;
        everHadAudio = everHadAudio || report.hasAudio;
        last = report;
      }
      stopped = CallRecorder("stop", EncodableValue());
    }
    ASSERT_EQ(unchanged, kStandstill)
        << "the disk never filled: " << last.frames << " of " << appended;
    EXPECT_GT(last.frames, 0);
    EXPECT_LT(last.frames, appended);

    // "stop" reports the frames the writer took, and sound if any chunk was written.
    ASSERT_EQ(stopped.kind, Answer::Kind::kSuccess);
    ASSERT_EQ(stopped.answers, 1);
    const Report stopReport = ReadReport(stopped);
    EXPECT_EQ(stopReport.frames, last.frames);
    if (everHadAudio) {
      EXPECT_TRUE(stopReport.hasAudio);
    }

    const std::vector<standin::RecordedSinkWriter> writers = standin::SinkWriters();
    ASSERT_EQ(writers.size(), 1u);
    int videoSamples = 0;
    for (const standin::RecordedSample& sample : writers[0].samples) {
      const auto& stream = writers[0].streams.at(sample.stream_index);
      videoSamples += standin::FindGUID(stream.output_type, MF_MT_MAJOR_TYPE) == MFMediaType_Video;
    }
    EXPECT_EQ(videoSamples, last.frames) << "every counted frame was taken by the writer";
    EXPECT_EQ(writers[0].finalize_results,
              std::vector<HRESULT>{HRESULT_FROM_WIN32(ERROR_DISK_FULL)});

    // The file stays: its whole fragments play, each frame at its time.
    ASSERT_TRUE(FileExists(path)) << "nothing is ever deleted";
    EXPECT_EQ(reliability_testing::FileLayout(path), "fragmented");
    {
      const media_testing::Probe probe = media_testing::ProbeFile(path);
      ASSERT_TRUE(probe.ok) << probe.error;
      const std::vector<media_testing::ProbedEntry> packets = probe.PacketsOf("video");
      EXPECT_GE(packets.size(), 60u) << "at least the first fragment";
      EXPECT_LE(packets.size(), static_cast<size_t>(last.frames));
      for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].Integer("pts"), static_cast<int64_t>(i) * kFrameDuration) << i;
      }
      // With room again, the file can be finished into a plain one with the frames of its whole
      // fragments (a reader may also show part of the cut-off last one).
      ASSERT_TRUE(reliability_testing::FinishFile(path));
      EXPECT_EQ(reliability_testing::FileLayout(path), "plain");
      const media_testing::Probe finished = media_testing::ProbeFile(path);
      ASSERT_TRUE(finished.ok) << finished.error;
      const std::vector<media_testing::ProbedEntry> kept = finished.PacketsOf("video");
      EXPECT_GE(kept.size(), 60u);
      EXPECT_LE(kept.size(), packets.size());
      for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].Integer("pts"), static_cast<int64_t>(i) * kFrameDuration) << i;
      }
    }

    // With room again, the next recording is whole.
    const std::string next =
        folder_.File(std::string("after-") + (c.withAudio ? "av" : "video") + ".mp4");
    ASSERT_EQ(SendStart(next, c.withAudio).kind, Answer::Kind::kSuccess);
    const std::vector<uint8_t> png = nothing_lost_testing::SolidPng(64, 48, {40, 120, 200, 0xFF});
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(ReadReport(SendAppendPng(png)).frames, i + 1);
    }
    EXPECT_EQ(ReadReport(CallRecorder("stop", EncodableValue())).frames, 4);
    const media_testing::Probe probe = media_testing::ProbeFile(next);
    ASSERT_TRUE(probe.ok) << probe.error;
    EXPECT_EQ(probe.PacketsOf("video").size(), 4u);
    EXPECT_EQ(probe.StreamsOf("audio").size(), c.withAudio ? 1u : 0u);
  }
}

}  // namespace
}  // namespace halvex
