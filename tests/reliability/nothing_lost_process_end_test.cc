// How a recording fares when the process ends in the middle of it. A process that exits runs the
// single recorder's destructor, which completes the file into a plain MP4. A process that is
// killed runs nothing, but its file is written as fragments: every whole fragment plays, and
// halvex-finish-recording makes the file plain afterwards.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "recorder/desktop_recorder.h"
#include "tests/media/child_process.h"
#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/media/signal_analysis.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/nothing_lost_support.h"
#include "tests/reliability/recording_layout.h"
#include "windows_testing/audio.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace standin = halvex::testing;
using media_testing::FileExists;
using media_testing::Probe;
using media_testing::ProbeFile;
using media_testing::ScratchFolder;
using nothing_lost_testing::QueueLoudPackets;
using nothing_lost_testing::SendAppendPng;
using nothing_lost_testing::SendStart;
using testing_support::Answer;
using testing_support::FrameReport;

constexpr UINT kWidth = 64;
constexpr UINT kHeight = 48;
constexpr int kFrames = 10;
constexpr int64_t kFrameDuration = 333333;

// Exit codes of the recording child, each naming the step that went wrong.
constexpr int kStartRefused = 3;
constexpr int kFrameRefused = 4;
constexpr int kCaptureSilent = 5;

std::vector<uint8_t> FramePng(int index) {
  const uint8_t level = static_cast<uint8_t>(30 + 15 * index);
  return nothing_lost_testing::SolidPng(kWidth, kHeight, {level, 90, 160, 0xFF});
}

// Records kFrames frames through the channel, as the application does, and leaves the recording
// running; in a child process, any refusal ends the child with a code that names it.
void RecordWithoutStopping(const std::string& path, bool withAudio) {
  const Answer started = SendStart(path, withAudio);
  if (started.kind != Answer::Kind::kSuccess) {
    std::_Exit(kStartRefused);
  }
  for (int i = 0; i < kFrames; ++i) {
    const Answer appended = SendAppendPng(FramePng(i));
    // From the fourth frame on, the queued sound has been written (see the wait below).
    if (appended.value != FrameReport(i + 1, withAudio && i >= 3)) {
      std::_Exit(kFrameRefused);
    }
    if (withAudio && i == 2) {
      // The capture thread started with the third frame: let it write the queued sound.
      if (!testing_support::WaitFor([] { return standin::AllPacketsConsumed(); })) {
        std::_Exit(kCaptureSilent);
      }
    }
  }
}

class ProcessEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!media_testing::MediaToolsAvailable()) {
      GTEST_SKIP() << media_testing::kMediaToolsMissing;
    }
    DesktopRecorder::Instance().Stop();
    standin::ResetMediaFoundation();
    standin::WriteMediaFiles();
    standin::ResetImaging();
    standin::DecodeRealImages();
    standin::ResetAudio();
    // The child must be a copy of this process as it stands, scratch folder included.
    GTEST_FLAG_SET(death_test_style, "fast");
  }

  void TearDown() override { standin::ResetAudio(); }

  ScratchFolder folder_;
};

TEST_F(ProcessEndTest, AnExitFinalisesTheRunningRecordingWithEveryFrame) {
  struct Case {
    const char* name;
    bool withAudio;
  };
  const std::vector<Case> cases = {{"video only", false}, {"capturing system audio", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File(std::string(c.withAudio ? "av" : "video") + ".mp4");
    if (c.withAudio) {
      ASSERT_TRUE(standin::SetDefaultAudioDevice(standin::MixFormat{}));
      ASSERT_TRUE(QueueLoudPackets(20));
    }
    // exit() runs the destructors of objects with static storage, the recorder's among them.
    EXPECT_EXIT(
        {
          RecordWithoutStopping(path, c.withAudio);
          std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(reliability_testing::FileLayout(path), "plain");
    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    const std::vector<media_testing::ProbedEntry> packets = probe.PacketsOf("video");
    ASSERT_EQ(packets.size(), static_cast<size_t>(kFrames));
    EXPECT_EQ(packets.back().Integer("pts"), (kFrames - 1) * kFrameDuration);
    ASSERT_EQ(probe.StreamsOf("audio").size(), c.withAudio ? 1u : 0u);
    if (c.withAudio) {
      std::vector<int16_t> sound;
      ASSERT_TRUE(media_testing::DecodeAudioAsMono48k(path, &sound));
      EXPECT_GT(media_testing::RootMeanSquare(sound.data(), sound.size()), 3000.0);
    }
    standin::ResetAudio();
  }
}

// Five seconds of video at 30 fps with sound, then SIGKILL: fragments start at key frames, at
// most two seconds apart, so at least the first two seconds survive, every frame at its time.
TEST_F(ProcessEndTest, AKilledRecordingPlaysUpToItsLastFragmentAndCanBeFinished) {
  constexpr int kKilledFrames = 150;
  const std::string path = folder_.File("killed.mp4");
  ASSERT_TRUE(standin::SetDefaultAudioDevice(standin::MixFormat{}));
  ASSERT_TRUE(QueueLoudPackets(500));
  EXPECT_EXIT(
      {
        if (SendStart(path, true).kind != Answer::Kind::kSuccess) {
          std::_Exit(kStartRefused);
        }
        for (int i = 0; i < kKilledFrames; ++i) {
          SendAppendPng(FramePng(i % kFrames));
        }
        // Let the writer's own thread catch up with what was handed to it, as seconds of
        // recording would, then die without a word.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        raise(SIGKILL);
      },
      ::testing::KilledBySignal(SIGKILL), "");

  ASSERT_TRUE(FileExists(path));
  EXPECT_EQ(reliability_testing::FileLayout(path), "fragmented");
  const Probe probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  const std::vector<media_testing::ProbedEntry> packets = probe.PacketsOf("video");
  std::cout << "the killed recording plays " << packets.size() << " of " << kKilledFrames
            << " frames\n";
  EXPECT_GE(packets.size(), 60u);
  EXPECT_LE(packets.size(), static_cast<size_t>(kKilledFrames));
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].Integer("pts"), static_cast<int64_t>(i) * kFrameDuration) << i;
  }
  ASSERT_EQ(probe.StreamsOf("audio").size(), 1u);
  EXPECT_GT(probe.PacketsOf("audio").size(), 0u);

  // The finishing tool makes it a plain MP4 with the frames of its whole fragments.
  const media_testing::CommandResult finished =
      media_testing::RunCommand({HALVEX_FINISH_TOOL, path});
  EXPECT_EQ(finished.exit_code, 0) << finished.out << finished.err;
  EXPECT_NE(finished.out.find("finished"), std::string::npos) << finished.out;
  EXPECT_EQ(reliability_testing::FileLayout(path), "plain");
  const Probe plain = ProbeFile(path);
  ASSERT_TRUE(plain.ok) << plain.error;
  const std::vector<media_testing::ProbedEntry> kept = plain.PacketsOf("video");
  EXPECT_GE(kept.size(), 60u);
  EXPECT_LE(kept.size(), packets.size());
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i].Integer("pts"), static_cast<int64_t>(i) * kFrameDuration) << i;
  }
}

}  // namespace
}  // namespace halvex
