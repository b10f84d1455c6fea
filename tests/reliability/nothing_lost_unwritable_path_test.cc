// A recording aimed at a path where no file can be made. "start" does not look at the path, so it
// is accepted; every frame is then dropped because the writer cannot be opened, every call is
// answered, nothing is left anywhere, and the next recording to a good path is whole. The tests
// run as root, so the paths are ones that no permission can open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "recorder/desktop_recorder.h"
#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/nothing_lost_support.h"
#include "tests/support/encodable_value_printer.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace standin = halvex::testing;
using flutter::EncodableMap;
using flutter::EncodableValue;
using media_testing::FileExists;
using media_testing::ScratchFolder;
using nothing_lost_testing::SendAppendPng;
using testing_support::Answer;
using testing_support::CallRecorder;
using testing_support::FrameReport;

constexpr int kFrames = 4;

std::vector<uint8_t> FramePng(int index) {
  const uint8_t level = static_cast<uint8_t>(50 + 30 * index);
  return nothing_lost_testing::SolidPng(80, 60, {level, level, 200, 0xFF});
}

EncodableValue HasAudioTrack(bool value) {
  return EncodableValue(EncodableMap{{"hasAudioTrack", value}});
}

class UnwritablePathTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    if (!media_testing::MediaToolsAvailable()) {
      GTEST_SKIP() << media_testing::kMediaToolsMissing;
    }
    DesktopRecorder::Instance().Stop();
    standin::DecodeRealImages();
  }

  void TearDown() override {
    DesktopRecorder::Instance().Stop();
    RecorderTest::TearDown();
  }

  ScratchFolder folder_;
};

TEST_F(UnwritablePathTest, FramesAreDroppedEveryCallIsAnsweredAndAGoodPathRecordsAfterwards) {
  const std::string plainFile = folder_.File("plain-file");
  media_testing::WriteFile(plainFile, {1, 2, 3});
  ASSERT_EQ(mkdir(folder_.File("taken.mp4").c_str(), 0755), 0);
  std::string overLongPath = folder_.path();
  while (overLongPath.size() < 5000) {
    overLongPath += "/" + std::string(200, 'd');
  }
  overLongPath += "/clip.mp4";

  struct Case {
    const char* name;
    std::string path;
    std::string leftover;  // a file the failed attempt must not have made
  };
  const std::vector<Case> cases = {
      {"a regular file as the folder", plainFile + "/clip.mp4", plainFile + "/clip.mp4"},
      {"a missing folder", folder_.File("missing/clip.mp4"), folder_.File("missing")},
      {"a file in /proc", "/proc/halvex-recording.mp4", "/proc/halvex-recording.mp4"},
      {"a file name longer than any allowed", folder_.File(std::string(300, 'n') + ".mp4"), ""},
      {"a path longer than any allowed", overLongPath, ""},
      {"a folder at the path", folder_.File("taken.mp4"), ""},
  };
  int caseNumber = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::ResetMediaFoundation();
    standin::WriteMediaFiles();

    // Without "enableAudio" the recording asks for sound: both ways of opening the writer fail.
    const Answer started = CallRecorder("start", EncodableValue(EncodableMap{{"path", c.path}}));
    ASSERT_EQ(started.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(started.value, HasAudioTrack(true));
    for (int i = 0; i < kFrames; ++i) {
      const Answer appended = SendAppendPng(FramePng(i));
      EXPECT_EQ(appended.kind, Answer::Kind::kSuccess);
      EXPECT_EQ(appended.answers, 1);
      EXPECT_EQ(appended.value, FrameReport(0, false)) << "frame " << i;
    }
    const Answer stopped = CallRecorder("stop", EncodableValue());
    EXPECT_EQ(stopped.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(stopped.value, FrameReport(0, false));
    EXPECT_EQ(standin::SinkWriterCount(), 0u) << "no writer could be made";
    if (!c.leftover.empty()) {
      EXPECT_FALSE(FileExists(c.leftover));
    }

    const std::string good = folder_.File("good-" + std::to_string(++caseNumber) + ".mp4");
    ASSERT_EQ(CallRecorder("start", EncodableValue(EncodableMap{{"path", good}})).value,
              HasAudioTrack(true));
    for (int i = 0; i < kFrames; ++i) {
      EXPECT_EQ(SendAppendPng(FramePng(i)).value, FrameReport(i + 1, false));
    }
    EXPECT_EQ(CallRecorder("stop", EncodableValue()).value, FrameReport(kFrames, false));
    const media_testing::Probe probe = media_testing::ProbeFile(good);
    ASSERT_TRUE(probe.ok) << probe.error;
    EXPECT_EQ(probe.PacketsOf("video").size(), static_cast<size_t>(kFrames));
    // No playback device: the sound track is silence as long as the picture.
    EXPECT_EQ(probe.StreamsOf("audio").size(), 1u);
  }
}

}  // namespace
}  // namespace halvex
