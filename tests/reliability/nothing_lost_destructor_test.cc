// A recording still running when its recorder is destroyed, as the host's exit destroys the single
// recorder: the destructor must end the capture thread and complete a playable file holding every
// frame it reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "recorder/desktop_recorder.h"
#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/media/signal_analysis.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/nothing_lost_support.h"
#include "windows_testing/audio.h"
#include "windows_testing/clock.h"
#include "windows_testing/com.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace standin = halvex::testing;
using media_testing::DecodeAudioAsMono48k;
using media_testing::DecodeVideo;
using media_testing::FileExists;
using media_testing::Probe;
using media_testing::ProbedEntry;
using media_testing::ProbeFile;
using media_testing::ScratchFolder;

constexpr UINT kWidth = 96;
constexpr UINT kHeight = 64;
constexpr double kFramesPerSecond = 30.0;
constexpr int64_t kFrameDuration = 333333;
constexpr int kFramesBeforeCapture = 3;  // the capture thread starts with the third frame
constexpr UINT32 kPacketFrames = 480;    // 10 ms at 48 kHz
constexpr int kTonePackets = 20;
constexpr int kAacFrame = 1024;  // the encoder's frame: how far track lengths may round

// A flat grey frame whose level tells its place in the recording.
uint8_t GreyLevel(int index) {
  return static_cast<uint8_t>(40 + 12 * index);
}

std::vector<uint8_t> GreyPng(int index) {
  const uint8_t level = GreyLevel(index);
  return nothing_lost_testing::SolidPng(kWidth, kHeight, {level, level, level, 0xFF});
}

// A 440 Hz tone as a stereo float device delivers it, in 10 ms packets.
std::vector<standin::AudioPacket> TonePackets() {
  const std::vector<int16_t> tone =
      media_testing::SineWave(440.0, 0.5, 48000, kPacketFrames * kTonePackets);
  std::vector<standin::AudioPacket> packets;
  for (int p = 0; p < kTonePackets; ++p) {
    standin::AudioPacket packet;
    packet.frames = kPacketFrames;
    packet.data.resize(kPacketFrames * 2 * sizeof(float));
    for (UINT32 i = 0; i < kPacketFrames; ++i) {
      const float sample = static_cast<float>(tone[p * kPacketFrames + i]) / 32767.0f;
      std::memcpy(packet.data.data() + i * 2 * sizeof(float), &sample, sizeof(float));
      std::memcpy(packet.data.data() + (i * 2 + 1) * sizeof(float), &sample, sizeof(float));
    }
    packets.push_back(std::move(packet));
  }
  return packets;
}

constexpr int64_t kClockStart = 100 * 10000000LL;

// Audio sample frames at 48 kHz that cover `frames` video frames, as the padding computes them.
int64_t AudioSamplesFor(int frames) {
  return frames * kFrameDuration * 48000 / 10000000;
}

enum class Sound { kNone, kTone, kSilence };

class DestroyedRecorderTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    if (!media_testing::MediaToolsAvailable()) {
      GTEST_SKIP() << media_testing::kMediaToolsMissing;
    }
    standin::DecodeRealImages();
  }

  ScratchFolder folder_;
};

TEST_F(DestroyedRecorderTest, TheDestructorEndsCaptureAndCompletesTheFileWithEveryReportedFrame) {
  struct Case {
    const char* name;
    bool enableAudio;
    bool playbackDevice;
    int frames;
    Sound sound;  // the audio track the file must have
  };
  const std::vector<Case> cases = {
      {"armed, no frame yet", true, true, 0, Sound::kNone},
      {"video only", false, true, 12, Sound::kNone},
      {"capturing system audio", true, true, 12, Sound::kTone},
      {"audio enabled without a playback device", true, false, 12, Sound::kSilence},
  };
  int caseNumber = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::ResetMediaFoundation();
    standin::WriteMediaFiles();
    standin::ResetAudio();
    if (c.playbackDevice) {
      ASSERT_TRUE(standin::SetDefaultAudioDevice(standin::MixFormat{}, TonePackets()));
    }
    // A stopped clock: every frame and the first packet come at one moment, so the sound belongs
    // at the start of the third frame's picture, whatever the machine's speed.
    standin::SetPerformanceCounter(kClockStart);
    const std::map<std::string, int> liveBefore = standin::LiveObjectCounts();
    const std::string path = folder_.File("destroyed-" + std::to_string(++caseNumber) + ".mp4");

    std::unique_ptr<DesktopRecorder> recorder = DesktopRecorderTestPeer::Create();
    DesktopRecorderTestPeer peer(*recorder);
    ASSERT_TRUE(recorder->Start(path, kFramesPerSecond, "", "", c.enableAudio));
    int32_t reported = 0;
    for (int i = 0; i < c.frames; ++i) {
      const std::vector<uint8_t> png = GreyPng(i);
      reported = recorder->AppendPng(png.data(), png.size());
      ASSERT_EQ(reported, i + 1);
      // Let the capture write all its sound while the picture stands at the third frame, so that
      // where the sound starts in the file is known.
      if (i + 1 == kFramesBeforeCapture && c.sound == Sound::kTone) {
        ASSERT_TRUE(standin::WaitUntilPacketsConsumed(std::chrono::seconds(10)));
      }
    }
    const RecorderState running = peer.State();
    EXPECT_TRUE(running.recordingActive);
    EXPECT_EQ(running.audioThreadStarted, c.enableAudio && c.frames >= kFramesBeforeCapture);
    if (c.sound == Sound::kTone) {
      EXPECT_TRUE(running.audibleAudioWritten);
      EXPECT_EQ(running.audioPosition,
                AudioSamplesFor(kFramesBeforeCapture - 1) + kPacketFrames * kTonePackets);
    }

    recorder.reset();

    // The destructor returned only after the capture thread had let go of every audio object.
    EXPECT_EQ(standin::LiveObjectCounts(), liveBefore);
    const standin::AudioCalls audio = standin::RecordedAudioCalls();
    if (c.sound == Sound::kTone) {
      ASSERT_EQ(audio.stream_calls.size(), 2u);
      EXPECT_EQ(audio.stream_calls[1].call, standin::StreamCall::kStop);
    }
    const std::vector<standin::RecordedSinkWriter> writers = standin::SinkWriters();
    if (c.frames == 0) {
      EXPECT_TRUE(writers.empty());
      EXPECT_FALSE(FileExists(path)) << "a recording without a frame leaves no file";
      continue;
    }
    ASSERT_EQ(writers.size(), 1u);
    EXPECT_EQ(writers[0].finalize_results, std::vector<HRESULT>{S_OK});
    EXPECT_FALSE(writers[0].alive);

    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    const std::vector<ProbedEntry> packets = probe.PacketsOf("video");
    ASSERT_EQ(packets.size(), static_cast<size_t>(reported));
    for (size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].Integer("pts"), static_cast<int64_t>(i) * kFrameDuration) << i;
      EXPECT_EQ(packets[i].Integer("duration"), kFrameDuration) << i;
    }
    std::vector<uint8_t> pictures;
    ASSERT_TRUE(DecodeVideo(path, "bgra", &pictures));
    const size_t pictureBytes = size_t{kWidth} * kHeight * 4;
    ASSERT_EQ(pictures.size(), pictureBytes * static_cast<size_t>(reported));
    for (int i = 0; i < reported; ++i) {
      const uint8_t* picture = pictures.data() + pictureBytes * static_cast<size_t>(i);
      double sum = 0.0;
      for (size_t p = 0; p < pictureBytes; p += 4) {
        sum += picture[p] + picture[p + 1] + picture[p + 2];
      }
      EXPECT_NEAR(sum / (3.0 * kWidth * kHeight), GreyLevel(i), 6.0) << "frame " << i;
    }

    const std::vector<ProbedEntry> audioStreams = probe.StreamsOf("audio");
    if (c.sound == Sound::kNone) {
      EXPECT_TRUE(audioStreams.empty());
      continue;
    }
    ASSERT_EQ(audioStreams.size(), 1u);
    std::vector<int16_t> sound;
    ASSERT_TRUE(DecodeAudioAsMono48k(path, &sound));
    const int64_t written = std::max(running.audioPosition, AudioSamplesFor(reported));
    EXPECT_NEAR(static_cast<double>(sound.size()), static_cast<double>(written), kAacFrame)
        << "the track reaches the end of the video";
    if (c.sound == Sound::kSilence) {
      EXPECT_LT(media_testing::RootMeanSquare(sound.data(), sound.size()), 1.0);
      continue;
    }
    const size_t onset = media_testing::FirstLoudSample(sound.data(), sound.size(), 3000);
    EXPECT_NEAR(static_cast<double>(onset),
                static_cast<double>(AudioSamplesFor(kFramesBeforeCapture - 1)), 100.0)
        << "the sound starts where the picture stood when it played";
    const size_t toneLength = kPacketFrames * (kTonePackets - 2);
    ASSERT_GE(sound.size(), onset + kPacketFrames + toneLength);
    EXPECT_NEAR(
        media_testing::ToneFrequency(sound.data() + onset + kPacketFrames, toneLength, 48000),
        440.0, 2.0);
  }
}

}  // namespace
}  // namespace halvex
