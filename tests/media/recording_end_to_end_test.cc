// Recordings made through the recorder's channel with real PNG frames, written by the real media
// writer and checked with ffprobe and ffmpeg; system audio from a private sound server.
#include <gtest/gtest.h>

#include <mferror.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "media_probe.h"
#include "png_maker.h"
#include "pulse_server.h"
#include "recorder_driver.h"
#include "scratch_folder.h"
#include "signal_analysis.h"
#include "windows_testing/faults.h"

namespace halvex::media_testing {
namespace {

// A frame of smooth shading and a block that moves with `index`, opaque.
std::vector<std::uint8_t> FramePixels(std::uint32_t width, std::uint32_t height, int index) {
  std::vector<std::uint8_t> bgra(std::size_t{width} * height * 4);
  const std::uint32_t block_x = static_cast<std::uint32_t>(index * 5) % (width / 2 + 1);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = bgra.data() + (std::size_t{y} * width + x) * 4;
      const bool block = x >= block_x && x < block_x + width / 5 + 1 && y >= height / 3 &&
                         y < height / 3 + height / 4 + 1;
      p[0] = block ? 40 : static_cast<std::uint8_t>(60 + 120 * y / height);
      p[1] = block ? 200 : static_cast<std::uint8_t>(80 + 100 * x / width);
      p[2] = block ? 230 : static_cast<std::uint8_t>(200 - 90 * x / width);
      p[3] = 255;
    }
  }
  return bgra;
}

// The top-left `width` × `height` of a frame `stride_width` pixels wide.
std::vector<std::uint8_t> Crop(const std::vector<std::uint8_t>& bgra,
                               std::uint32_t stride_width,
                               std::uint32_t width,
                               std::uint32_t height) {
  std::vector<std::uint8_t> cropped;
  for (std::uint32_t y = 0; y < height; ++y) {
    const auto row = bgra.begin() + static_cast<long>(std::size_t{y} * stride_width * 4);
    cropped.insert(cropped.end(), row, row + static_cast<long>(width) * 4);
  }
  return cropped;
}

// PSNR over blue, green and red; alpha plays no part in a video.
double ColourPsnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels) {
  std::vector<std::uint8_t> x;
  std::vector<std::uint8_t> y;
  for (std::size_t i = 0; i < pixels; ++i) {
    x.insert(x.end(), a + i * 4, a + i * 4 + 3);
    y.insert(y.end(), b + i * 4, b + i * 4 + 3);
  }
  return Psnr(x.data(), y.data(), x.size());
}

class RecordingEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MediaToolsAvailable()) {
      GTEST_SKIP() << kMediaToolsMissing;
    }
  }

  ScratchFolder folder_;
};

TEST_F(RecordingEndToEndTest, EveryFrameIsStoredAtItsTimeAndLooksLikeWhatWasSent) {
  struct Case {
    const char* name;
    double fps;
    std::int64_t duration;
  };
  const std::vector<Case> cases = {
      {"30 fps", 30.0, 333333},
      {"29.97 fps", 29.97, 333667},
      {"8 fps", 8.0, 1250000},
      {"1 fps", 1.0, 10000000},
  };
  // An odd size: the recording keeps the even top-left 320 × 240.
  constexpr std::uint32_t kWidth = 321;
  constexpr std::uint32_t kHeight = 241;
  constexpr int kFrames = 15;
  double lowest_psnr = 1000.0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File("rate-" + std::to_string(c.duration) + ".mp4");
    const RecorderReply started = StartRecording(path, c.fps, false);
    ASSERT_TRUE(started.success) << started.error_code;
    EXPECT_FALSE(started.has_audio_track);
    std::vector<std::vector<std::uint8_t>> sent;
    for (int i = 0; i < kFrames; ++i) {
      sent.push_back(FramePixels(kWidth, kHeight, i));
      const RecorderReply reply = AppendPng(EncodeBgraPng(kWidth, kHeight, sent.back()));
      ASSERT_TRUE(reply.success);
      ASSERT_EQ(reply.frames, i + 1);
    }
    const RecorderReply stopped = StopRecording();
    EXPECT_EQ(stopped.frames, kFrames);
    EXPECT_FALSE(stopped.has_audio);

    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_EQ(probe.streams.size(), 1u);
    const ProbedEntry& video = probe.streams[0];
    EXPECT_EQ(video.Text("codec_type"), "video");
    EXPECT_EQ(video.Text("codec_name"), "h264");
    EXPECT_EQ(video.Integer("width"), 320);
    EXPECT_EQ(video.Integer("height"), 240);
    EXPECT_EQ(video.Integer("nb_frames"), stopped.frames);
    const std::vector<ProbedEntry> packets = probe.PacketsOf("video");
    ASSERT_EQ(packets.size(), static_cast<std::size_t>(stopped.frames));
    for (std::size_t i = 0; i < packets.size(); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      EXPECT_EQ(packets[i].Integer("pts"), static_cast<std::int64_t>(i) * c.duration);
      EXPECT_EQ(packets[i].Integer("duration"), c.duration);
    }
    EXPECT_NEAR(video.Number("duration"), kFrames * c.duration / 1e7, 1e-6);

    std::vector<std::uint8_t> decoded;
    ASSERT_TRUE(DecodeVideo(path, "bgra", &decoded));
    const std::size_t picture = 320 * 240 * 4;
    ASSERT_EQ(decoded.size(), picture * kFrames);
    for (int i = 0; i < kFrames; ++i) {
      const std::vector<std::uint8_t> expected =
          Crop(sent[static_cast<std::size_t>(i)], kWidth, 320, 240);
      const double psnr = ColourPsnr(decoded.data() + picture * static_cast<std::size_t>(i),
                                     expected.data(), 320 * 240);
      EXPECT_GE(psnr, 35.0) << "frame " << i;
      lowest_psnr = std::min(lowest_psnr, psnr);
    }
  }
  RecordProperty("lowest_psnr_db", std::to_string(lowest_psnr));
  std::cout << "lowest PSNR of any frame: " << lowest_psnr << " dB\n";
}

// The four-character types of a file's top-level boxes, in order.
std::vector<std::string> TopLevelBoxes(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  std::vector<std::string> types;
  std::size_t offset = 0;
  while (offset + 8 <= bytes.size()) {
    std::uint64_t size = (std::uint64_t{bytes[offset]} << 24) | (bytes[offset + 1] << 16) |
                         (bytes[offset + 2] << 8) | bytes[offset + 3];
    types.emplace_back(reinterpret_cast<const char*>(&bytes[offset + 4]), 4);
    if (size == 1 && offset + 16 <= bytes.size()) {
      size = 0;
      for (int i = 0; i < 8; ++i) {
        size = (size << 8) | bytes[offset + 8 + i];
      }
    }
    if (size < 8 || size > bytes.size() - offset) {
      break;
    }
    offset += static_cast<std::size_t>(size);
  }
  return types;
}

// Recorded as fragments and finished at "stop", a recording is a plain MP4 that holds the same as
// one the writer wrote plain from the start: one index at the end, every frame the replies
// counted at its time, the audio as long as the video, and the same pictures.
TEST_F(RecordingEndToEndTest, AStoppedRecordingIsAPlainMp4AsIfWrittenWithoutFragments) {
  constexpr int kFrames = 70;  // more than two seconds: more than one fragment
  std::vector<std::vector<std::uint8_t>> pictures;
  for (const bool fragmented : {true, false}) {
    SCOPED_TRACE(fragmented ? "recorded as fragments" : "recorded plain");
    const std::string path = folder_.File(fragmented ? "fragmented.mp4" : "plain.mp4");
    ASSERT_TRUE(StartRecording(path, 30.0, true).success);
    if (!fragmented) {
      // As on a system without the fragmented container: the writer is made without it.
      halvex::testing::FailCall("MFCreateSinkWriterFromURL", MF_E_UNSUPPORTED_BYTESTREAM_TYPE, 1);
    }
    for (int i = 0; i < kFrames; ++i) {
      ASSERT_EQ(AppendPng(EncodeBgraPng(160, 120, FramePixels(160, 120, i))).frames, i + 1);
    }
    const RecorderReply stopped = StopRecording();
    halvex::testing::ResetFaults();
    EXPECT_EQ(stopped.frames, kFrames);

    const std::vector<std::string> boxes = TopLevelBoxes(path);
    ASSERT_GE(boxes.size(), 3u);
    EXPECT_EQ(boxes.front(), "ftyp");
    EXPECT_EQ(boxes.back(), "moov") << "one complete index, at the end";
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moof"), 0) << "no fragment shows";
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moov"), 1);

    const Probe probe = ProbeFile(path);
    ASSERT_TRUE(probe.ok) << probe.error;
    const std::vector<ProbedEntry> video = probe.StreamsOf("video");
    ASSERT_EQ(video.size(), 1u);
    EXPECT_EQ(video[0].Integer("nb_frames"), kFrames);
    const std::vector<ProbedEntry> packets = probe.PacketsOf("video");
    ASSERT_EQ(packets.size(), static_cast<std::size_t>(kFrames));
    for (std::size_t i = 0; i < packets.size(); ++i) {
      EXPECT_EQ(packets[i].Integer("pts"), static_cast<std::int64_t>(i) * 333333) << i;
      EXPECT_EQ(packets[i].Integer("duration"), 333333) << i;
    }
    std::vector<std::int16_t> audio;
    ASSERT_TRUE(DecodeAudioAsMono48k(path, &audio));
    EXPECT_NEAR(static_cast<double>(audio.size()), kFrames * 333333 * 48000.0 / 1e7, 1024.0)
        << "the audio as long as the video";

    pictures.emplace_back();
    ASSERT_TRUE(DecodeVideo(path, "bgra", &pictures.back()));
  }
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0].size(), std::size_t{160} * 120 * 4 * kFrames);
  EXPECT_TRUE(pictures[0] == pictures[1]) << "the same pictures either way";
}

TEST_F(RecordingEndToEndTest, TheFirstFrameFixesAnEvenVideoSize) {
  const std::string path = folder_.File("odd.mp4");
  ASSERT_TRUE(StartRecording(path, 8.0, false).success);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(AppendPng(EncodeBgraPng(101, 75, FramePixels(101, 75, i))).frames, i + 1);
  }
  // A later frame of another size is scaled into the video, not refused.
  EXPECT_EQ(AppendPng(EncodeBgraPng(64, 48, FramePixels(64, 48, 3))).frames, 4);
  EXPECT_EQ(StopRecording().frames, 4);
  const Probe probe = ProbeFile(path);
  ASSERT_TRUE(probe.ok) << probe.error;
  ASSERT_EQ(probe.StreamsOf("video").size(), 1u);
  EXPECT_EQ(probe.StreamsOf("video")[0].Integer("width"), 100);
  EXPECT_EQ(probe.StreamsOf("video")[0].Integer("height"), 74);
  EXPECT_EQ(probe.PacketsOf("video").size(), 4u);
}

TEST_F(RecordingEndToEndTest, ARecordingWithoutAUsableFrameLeavesNoFile) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::uint8_t>> frames;
  };
  std::vector<std::uint8_t> damaged = EncodeBgraPng(32, 32, FramePixels(32, 32, 0));
  damaged.resize(damaged.size() / 2);
  const std::vector<Case> cases = {
      {"no frame", {}},
      {"only a damaged PNG", {damaged}},
      {"only an image one pixel wide", {EncodeBgraPng(1, 100, FramePixels(1, 100, 0))}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder_.File("empty.mp4");
    ASSERT_TRUE(StartRecording(path, 30.0, true).success);
    for (const std::vector<std::uint8_t>& frame : c.frames) {
      EXPECT_EQ(AppendPng(frame).frames, 0);
    }
    const RecorderReply stopped = StopRecording();
    EXPECT_EQ(stopped.frames, 0);
    EXPECT_FALSE(stopped.has_audio);
    EXPECT_FALSE(FileExists(path));
  }
}

// The audio track as decoded, and the video's length in seconds.
struct Recorded {
  std::vector<std::int16_t> audio;
  double video_seconds = 0.0;
};

Recorded ReadRecording(const std::string& path) {
  Recorded recorded;
  const Probe probe = ProbeFile(path);
  EXPECT_TRUE(probe.ok) << probe.error;
  EXPECT_EQ(probe.StreamsOf("video").size(), 1u);
  const std::vector<ProbedEntry> audio = probe.StreamsOf("audio");
  EXPECT_EQ(audio.size(), 1u);
  if (audio.size() != 1 || probe.StreamsOf("video").empty()) {
    return recorded;
  }
  EXPECT_EQ(audio[0].Text("codec_name"), "aac");
  EXPECT_EQ(audio[0].Integer("sample_rate"), 48000);
  EXPECT_EQ(audio[0].Integer("channels"), 1);
  EXPECT_DOUBLE_EQ(audio[0].Number("start_time"), 0.0);
  recorded.video_seconds = probe.StreamsOf("video")[0].Number("duration");
  EXPECT_TRUE(DecodeAudioAsMono48k(path, &recorded.audio));
  return recorded;
}

TEST_F(RecordingEndToEndTest, WithoutASoundServerTheAudioTrackIsSilenceAsLongAsTheVideo) {
  ScratchFolder nowhere;
  const ScopedEnvironmentVariable server("PULSE_SERVER", "unix:" + nowhere.File("no-server"));
  const ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", nowhere.path());
  const std::string path = folder_.File("silent.mp4");
  const RecorderReply started = StartRecording(path, 8.0, true);
  ASSERT_TRUE(started.success);
  EXPECT_TRUE(started.has_audio_track);
  for (int i = 0; i < 10; ++i) {
    const RecorderReply reply = AppendPng(EncodeBgraPng(160, 120, FramePixels(160, 120, i)));
    EXPECT_EQ(reply.frames, i + 1);
    EXPECT_FALSE(reply.has_audio);
  }
  const RecorderReply stopped = StopRecording();
  EXPECT_EQ(stopped.frames, 10);
  EXPECT_FALSE(stopped.has_audio);

  const Recorded recorded = ReadRecording(path);
  EXPECT_NEAR(recorded.video_seconds, 1.25, 1e-6);
  EXPECT_NEAR(static_cast<double>(recorded.audio.size()), 1.25 * 48000, 1024.0);
  EXPECT_LT(RootMeanSquare(recorded.audio.data(), recorded.audio.size()), 1.0);
}

TEST_F(RecordingEndToEndTest, SystemSoundIsRecordedAlignedWithThePicture) {
  if (!SoundServerAvailable()) {
    GTEST_SKIP() << kSoundServerMissing;
  }
  std::string error;
  std::unique_ptr<PrivateSoundServer> server =
      PrivateSoundServer::Start("float32le", 48000, 2, &error);
  ASSERT_NE(server, nullptr) << error;
  ASSERT_TRUE(server->StartKeeper());

  const std::string path = folder_.File("sound.mp4");
  ASSERT_TRUE(StartRecording(path, 30.0, true).success);
  // Two seconds of frames at their pace; a 440 Hz tone starts as the sixteenth frame goes in.
  constexpr int kFrames = 60;
  constexpr int kToneFrame = 15;
  std::unique_ptr<BackgroundProcess> player;
  bool reported_audio = false;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kFrames; ++i) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * i);
    if (i == kToneFrame) {
      player = server->Play(SineWave(440.0, 0.5, 48000, 48000 * 8 / 10), 48000);
      ASSERT_NE(player, nullptr);
    }
    const RecorderReply reply = AppendPng(EncodeBgraPng(160, 120, FramePixels(160, 120, i)));
    ASSERT_EQ(reply.frames, i + 1);
    reported_audio = reported_audio || reply.has_audio;
  }
  const RecorderReply stopped = StopRecording();
  EXPECT_EQ(stopped.frames, kFrames);
  EXPECT_TRUE(stopped.has_audio);
  EXPECT_TRUE(reported_audio) << "appendPng reports sound once it has been written";

  const Recorded recorded = ReadRecording(path);
  const double video_seconds = kFrames * 333333 / 1e7;
  EXPECT_NEAR(recorded.video_seconds, video_seconds, 1e-6);
  // Padded at "stop" to the video's end: within one encoder frame of it.
  EXPECT_NEAR(static_cast<double>(recorded.audio.size()), video_seconds * 48000, 1024.0);
  ASSERT_GT(recorded.audio.size(), 48000u);
  const std::size_t onset = FirstLoudSample(recorded.audio.data(), recorded.audio.size(), 3000);
  const double onset_seconds = static_cast<double>(onset) / 48000;
  std::cout << "tone starts at " << onset_seconds << " s; played with frame " << kToneFrame
            << " at " << kToneFrame / 30.0 << " s\n";
  // Silence until the tone; the tone where the picture was when it played.
  EXPECT_LT(RootMeanSquare(recorded.audio.data(), 48000 * 4 / 10), 30.0);
  EXPECT_GE(onset_seconds, kToneFrame / 30.0 - 0.05);
  EXPECT_LE(onset_seconds, kToneFrame / 30.0 + 0.4);
  ASSERT_LT(onset + 48000 / 2, recorded.audio.size());
  EXPECT_NEAR(ToneFrequency(recorded.audio.data() + onset + 2400, 19200, 48000), 440.0, 2.0);
  EXPECT_GT(RootMeanSquare(recorded.audio.data() + onset + 2400, 19200), 5000.0);
}

}  // namespace
}  // namespace halvex::media_testing
