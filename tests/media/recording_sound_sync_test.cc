// Sound stays with its picture against a real sound server: quiet stretches keep their length, a
// new default output device is followed, and a player that dies leaves silence, not a gap.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "media_probe.h"
#include "png_maker.h"
#include "pulse_server.h"
#include "recorder_driver.h"
#include "scratch_folder.h"
#include "signal_analysis.h"

namespace halvex::media_testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr double kFps = 30.0;
constexpr int kAacFrame = 1024;
constexpr int kLoud = 3000;

// A recording paced in real time at kFps, running `actions` just before the frame they are keyed
// by; returns when each action ran, in seconds from the first frame.
struct PacedRecording {
  RecorderReply stopped;
  std::map<int, double> actionSeconds;
  std::vector<std::int16_t> audio;  // decoded, mono 48 kHz
  double videoSeconds = 0.0;
};

PacedRecording Record(const std::string& path,
                      int frames,
                      const std::map<int, std::function<void()>>& actions) {
  PacedRecording recording;
  EXPECT_TRUE(StartRecording(path, kFps, true).success);
  const std::vector<std::uint8_t> png =
      EncodeBgraPng(64, 48, std::vector<std::uint8_t>(64 * 48 * 4, 128));
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * i);
    const auto action = actions.find(i);
    if (action != actions.end()) {
      recording.actionSeconds[i] = std::chrono::duration<double>(Clock::now() - start).count();
      action->second();
    }
    EXPECT_EQ(AppendPng(png).frames, i + 1);
  }
  recording.stopped = StopRecording();
  const Probe probe = ProbeFile(path);
  EXPECT_TRUE(probe.ok) << probe.error;
  if (probe.ok && !probe.StreamsOf("video").empty()) {
    recording.videoSeconds = probe.StreamsOf("video")[0].Number("duration");
  }
  EXPECT_TRUE(DecodeAudioAsMono48k(path, &recording.audio));
  return recording;
}

// Where each burst of sound begins: the first loud sample after at least `quiet` samples that
// were not.
std::vector<std::size_t> Onsets(const std::vector<std::int16_t>& audio, std::size_t quiet) {
  std::vector<std::size_t> onsets;
  std::size_t lastLoud = 0;
  bool any = false;
  for (std::size_t i = 0; i < audio.size(); ++i) {
    if (audio[i] > kLoud || audio[i] < -kLoud) {
      if (!any || i - lastLoud > quiet) {
        onsets.push_back(i);
      }
      any = true;
      lastLoud = i;
    }
  }
  return onsets;
}

class SoundSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MediaToolsAvailable()) {
      GTEST_SKIP() << kMediaToolsMissing;
    }
    if (!SoundServerAvailable()) {
      GTEST_SKIP() << kSoundServerMissing;
    }
  }

  std::unique_ptr<PrivateSoundServer> StartServer(int rate) {
    std::string error;
    std::unique_ptr<PrivateSoundServer> server =
        PrivateSoundServer::Start("float32le", rate, 2, &error);
    EXPECT_NE(server, nullptr) << error;
    return server;
  }

  ScratchFolder folder_;
};

// Three beeps with digital silence between them, played by one player so that their spacing is
// exactly known, come out of the AAC track spaced as they were played.
TEST_F(SoundSyncTest, BeepsWithSilenceBetweenKeepTheirSpacing) {
  std::unique_ptr<PrivateSoundServer> server = StartServer(44100);
  ASSERT_NE(server, nullptr);
  constexpr int kPlayRate = 44100;
  constexpr std::size_t kBeep = kPlayRate / 5;
  constexpr std::size_t kSpacing = kPlayRate * 3 / 2;  // a beep every 1.5 s
  std::vector<std::int16_t> schedule(kSpacing * 2 + kBeep, 0);
  for (std::size_t start : {std::size_t{0}, kSpacing, 2 * kSpacing}) {
    const std::vector<std::int16_t> beep = SineWave(880.0, 0.5, kPlayRate, kBeep);
    std::copy(beep.begin(), beep.end(), schedule.begin() + static_cast<long>(start));
  }
  std::unique_ptr<BackgroundProcess> player;
  std::map<int, std::function<void()>> actions;
  actions[15] = [&] { player = server->Play(schedule, kPlayRate); };
  const PacedRecording recording = Record(folder_.File("beeps.mp4"), 130, actions);
  EXPECT_TRUE(recording.stopped.has_audio);

  const std::vector<std::size_t> onsets = Onsets(recording.audio, kRate / 2);
  ASSERT_EQ(onsets.size(), 3u) << "three beeps, apart";
  std::cout << "beeps at";
  for (std::size_t onset : onsets) {
    std::cout << " " << static_cast<double>(onset) / kRate;
  }
  std::cout << " s; played from " << recording.actionSeconds.at(15) << " s, 1.5 s apart\n";
  for (std::size_t i = 1; i < onsets.size(); ++i) {
    EXPECT_NEAR(static_cast<double>(onsets[i] - onsets[i - 1]), 1.5 * kRate, kAacFrame)
        << "beep " << i << " keeps its distance from the one before";
  }
  // The first beep where the picture stood when it played; starting the player takes a moment,
  // more on a busy machine.
  EXPECT_NEAR(static_cast<double>(onsets[0]) / kRate, recording.actionSeconds.at(15), 0.15);
  // Silence between the beeps, and the track as long as the video.
  const std::size_t beepLength = kBeep * kRate / kPlayRate;
  for (std::size_t i = 1; i < onsets.size(); ++i) {
    EXPECT_LT(RootMeanSquare(recording.audio.data() + onsets[i - 1] + beepLength + kRate / 20,
                             onsets[i] - onsets[i - 1] - beepLength - kRate / 10),
              30.0);
  }
  EXPECT_NEAR(static_cast<double>(recording.audio.size()), recording.videoSeconds * kRate,
              kAacFrame);
}

// The server's default sink changes to a second sink mid-recording; a tone played there only is
// in the recording at its time.
TEST_F(SoundSyncTest, ANewDefaultSinkIsFollowed) {
  std::unique_ptr<PrivateSoundServer> server = StartServer(48000);
  ASSERT_NE(server, nullptr);
  ASSERT_TRUE(server->AddSink("halvex_second_sink", "s16le", 44100, 2));
  std::unique_ptr<BackgroundProcess> player;
  std::map<int, std::function<void()>> actions;
  actions[30] = [&] { EXPECT_TRUE(server->Control({"set-default-sink", "halvex_second_sink"})); };
  actions[75] = [&] {
    player = server->Play(SineWave(660.0, 0.5, 44100, 44100 / 2), 44100, "halvex_second_sink");
  };
  const PacedRecording recording = Record(folder_.File("second-sink.mp4"), 120, actions);
  EXPECT_TRUE(recording.stopped.has_audio);
  const std::vector<std::size_t> onsets = Onsets(recording.audio, kRate / 2);
  ASSERT_EQ(onsets.size(), 1u) << "the tone on the new default sink";
  EXPECT_NEAR(static_cast<double>(onsets[0]) / kRate, recording.actionSeconds.at(75), 0.15);
  ASSERT_GT(recording.audio.size(), onsets[0] + kRate / 2);
  EXPECT_NEAR(ToneFrequency(recording.audio.data() + onsets[0] + 2400, 12000, kRate), 660.0, 3.0);
  EXPECT_NEAR(static_cast<double>(recording.audio.size()), recording.videoSeconds * kRate,
              kAacFrame);
}

// A player killed in the middle of its tone leaves silence from then on; a later tone still lands
// at its time, and the track is as long as the video.
TEST_F(SoundSyncTest, AKilledPlayerLeavesSilenceNotAShorterTrack) {
  std::unique_ptr<PrivateSoundServer> server = StartServer(48000);
  ASSERT_NE(server, nullptr);
  std::unique_ptr<BackgroundProcess> longTone;
  std::unique_ptr<BackgroundProcess> lateTone;
  std::map<int, std::function<void()>> actions;
  actions[15] = [&] { longTone = server->Play(SineWave(440.0, 0.5, kRate, kRate * 5), kRate); };
  actions[45] = [&] { kill(longTone->pid(), SIGKILL); };
  actions[90] = [&] { lateTone = server->Play(SineWave(440.0, 0.5, kRate, kRate / 4), kRate); };
  const PacedRecording recording = Record(folder_.File("killed.mp4"), 120, actions);

  const std::vector<std::size_t> onsets = Onsets(recording.audio, kRate / 4);
  ASSERT_EQ(onsets.size(), 2u);
  const double killed = recording.actionSeconds.at(45);
  // Each tone where the picture stood when its player started (starting takes a moment).
  EXPECT_NEAR(static_cast<double>(onsets[0]) / kRate, recording.actionSeconds.at(15), 0.15);
  EXPECT_NEAR(static_cast<double>(onsets[1]) / kRate, recording.actionSeconds.at(90), 0.15);
  const std::size_t afterKill = static_cast<std::size_t>((killed + 0.2) * kRate);
  ASSERT_LT(afterKill, onsets[1]);
  EXPECT_LT(RootMeanSquare(recording.audio.data() + afterKill, onsets[1] - afterKill - kRate / 20),
            30.0);
  EXPECT_NEAR(static_cast<double>(recording.audio.size()), recording.videoSeconds * kRate,
              kAacFrame);
}

}  // namespace
}  // namespace halvex::media_testing
