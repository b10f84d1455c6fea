#include "media_pulse_capture.h"

#include <gtest/gtest.h>
#include <pulse/channelmap.h>
#include <pulse/sample.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "media_pulse_format.h"
#include "pulse_server.h"
#include "scratch_folder.h"
#include "signal_analysis.h"

namespace halvex::media_testing {
namespace {

using platform::media::FindDefaultSink;
using platform::media::kLoopbackDataDiscontinuity;
using platform::media::kLoopbackSilent;
using platform::media::LoopbackError;
using platform::media::LoopbackMixFormat;
using platform::media::LoopbackPacket;
using platform::media::LoopbackSampleType;
using platform::media::LoopbackSink;
using platform::media::PulseLoopbackCapture;
using platform::media::RecordFormatForMixFormat;
using platform::media::RecordFormatForSink;

constexpr LoopbackSampleType kFloat = LoopbackSampleType::kIeeeFloat;
constexpr LoopbackSampleType kPcm = LoopbackSampleType::kPcm;

pa_channel_map Map(std::vector<pa_channel_position_t> positions) {
  pa_channel_map map;
  pa_channel_map_init(&map);
  map.channels = static_cast<std::uint8_t>(positions.size());
  for (std::size_t i = 0; i < positions.size(); ++i) {
    map.map[i] = positions[i];
  }
  return map;
}

TEST(MediaLoopbackFormatTest, SinkFormatsBecomeMixFormatsAndBack) {
  struct Case {
    const char* name;
    pa_sample_format_t sink_format;
    std::vector<pa_channel_position_t> sink_positions;
    pa_sample_format_t record_format;
    std::vector<pa_channel_position_t> record_positions;
    LoopbackSampleType type;
    std::uint16_t bits;
    std::uint16_t valid_bits;
    std::uint32_t mask;
  };
  using P = pa_channel_position_t;
  const P fl = PA_CHANNEL_POSITION_FRONT_LEFT;
  const P fr = PA_CHANNEL_POSITION_FRONT_RIGHT;
  const P fc = PA_CHANNEL_POSITION_FRONT_CENTER;
  const P lfe = PA_CHANNEL_POSITION_LFE;
  const P rl = PA_CHANNEL_POSITION_REAR_LEFT;
  const P rr = PA_CHANNEL_POSITION_REAR_RIGHT;
  const P mono = PA_CHANNEL_POSITION_MONO;
  const std::vector<Case> cases = {
      {"float stereo",
       PA_SAMPLE_FLOAT32LE,
       {fl, fr},
       PA_SAMPLE_FLOAT32LE,
       {fl, fr},
       kFloat,
       32,
       32,
       0x3},
      {"s16 stereo", PA_SAMPLE_S16LE, {fl, fr}, PA_SAMPLE_S16LE, {fl, fr}, kPcm, 16, 16, 0x3},
      {"s24 packed", PA_SAMPLE_S24LE, {fl, fr}, PA_SAMPLE_S24LE, {fl, fr}, kPcm, 24, 24, 0x3},
      {"s24 in 32, moved to the high bytes",
       PA_SAMPLE_S24_32LE,
       {fl, fr},
       PA_SAMPLE_S32LE,
       {fl, fr},
       kPcm,
       32,
       24,
       0x3},
      {"s32 mono", PA_SAMPLE_S32LE, {mono}, PA_SAMPLE_S32LE, {mono}, kPcm, 32, 32, 0x4},
      {"u8 is recorded as float",
       PA_SAMPLE_U8,
       {fl, fr},
       PA_SAMPLE_FLOAT32LE,
       {fl, fr},
       kFloat,
       32,
       32,
       0x3},
      {"big-endian s16 as float",
       PA_SAMPLE_S16BE,
       {fl, fr},
       PA_SAMPLE_FLOAT32LE,
       {fl, fr},
       kFloat,
       32,
       32,
       0x3},
      {"5.1 in server order, recorded in speaker order",
       PA_SAMPLE_FLOAT32LE,
       {fl, fr, rl, rr, fc, lfe},
       PA_SAMPLE_FLOAT32LE,
       {fl, fr, fc, lfe, rl, rr},
       kFloat,
       32,
       32,
       0x3F},
      {"auxiliary channels keep their order, no mask",
       PA_SAMPLE_S16LE,
       {PA_CHANNEL_POSITION_AUX1, PA_CHANNEL_POSITION_AUX0},
       PA_SAMPLE_S16LE,
       {PA_CHANNEL_POSITION_AUX1, PA_CHANNEL_POSITION_AUX0},
       kPcm,
       16,
       16,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pa_sample_spec sample_spec;
    sample_spec.format = c.sink_format;
    sample_spec.rate = 44100;
    sample_spec.channels = static_cast<std::uint8_t>(c.sink_positions.size());
    const auto record = RecordFormatForSink(sample_spec, Map(c.sink_positions));
    EXPECT_EQ(record.sample_spec.format, c.record_format);
    EXPECT_EQ(record.sample_spec.rate, 44100u);
    ASSERT_EQ(record.map.channels, c.record_positions.size());
    for (std::size_t i = 0; i < c.record_positions.size(); ++i) {
      EXPECT_EQ(record.map.map[i], c.record_positions[i]) << "channel " << i;
    }
    const LoopbackMixFormat& mix = record.mix_format;
    EXPECT_EQ(mix.sample_type, c.type);
    EXPECT_EQ(mix.channels, c.sink_positions.size());
    EXPECT_EQ(mix.samples_per_second, 44100u);
    EXPECT_EQ(mix.bits_per_sample, c.bits);
    EXPECT_EQ(mix.valid_bits_per_sample, c.valid_bits);
    EXPECT_EQ(mix.channel_mask, c.mask);
    EXPECT_EQ(mix.block_align(), c.sink_positions.size() * c.bits / 8);
    EXPECT_EQ(pa_frame_size(&record.sample_spec), mix.block_align())
        << "the data is what the format says";

    // Recording in a mix format gives data in exactly that format and channel order.
    pa_sample_spec back_spec{};
    pa_channel_map back_map{};
    ASSERT_TRUE(RecordFormatForMixFormat(mix, &back_spec, &back_map));
    EXPECT_EQ(back_spec.format, record.sample_spec.format);
    EXPECT_EQ(back_spec.channels, record.sample_spec.channels);
    if (mix.channel_mask != 0) {
      EXPECT_TRUE(pa_channel_map_equal(&back_map, &record.map));
    }
  }
}

TEST(MediaLoopbackFormatTest, FormatsNoSinkGivesAreNotRecorded) {
  LoopbackMixFormat eight_bit;
  eight_bit.sample_type = kPcm;
  eight_bit.channels = 2;
  eight_bit.samples_per_second = 48000;
  eight_bit.bits_per_sample = 8;
  eight_bit.valid_bits_per_sample = 8;
  LoopbackMixFormat no_channels = eight_bit;
  no_channels.bits_per_sample = 16;
  no_channels.valid_bits_per_sample = 16;
  no_channels.channels = 0;
  LoopbackMixFormat no_rate = no_channels;
  no_rate.channels = 2;
  no_rate.samples_per_second = 0;
  for (const LoopbackMixFormat& format : {eight_bit, no_channels, no_rate}) {
    pa_sample_spec sample_spec{};
    pa_channel_map map{};
    EXPECT_FALSE(RecordFormatForMixFormat(format, &sample_spec, &map));
  }
}

TEST(MediaLoopbackCaptureTest, WithoutAServerThereIsNoDevice) {
  ScratchFolder folder;
  const ScopedEnvironmentVariable server("PULSE_SERVER", "unix:" + folder.File("nobody-here"));
  const ScopedEnvironmentVariable runtime("XDG_RUNTIME_DIR", folder.path());
  LoopbackSink sink;
  EXPECT_EQ(FindDefaultSink(&sink), LoopbackError::kNoServer);
  sink.monitor_source = "anything.monitor";
  sink.mix_format =
      RecordFormatForSink({PA_SAMPLE_FLOAT32LE, 48000, 2},
                          Map({PA_CHANNEL_POSITION_FRONT_LEFT, PA_CHANNEL_POSITION_FRONT_RIGHT}))
          .mix_format;
  std::unique_ptr<PulseLoopbackCapture> capture;
  EXPECT_EQ(PulseLoopbackCapture::Open(sink, 48000, &capture), LoopbackError::kNoServer);
  EXPECT_EQ(capture, nullptr);
}

// Channel `channel` of every frame of the packets, as a sample of full scale ±1.
std::vector<double> ChannelOf(const std::vector<LoopbackPacket>& packets,
                              const LoopbackMixFormat& format,
                              int channel) {
  std::vector<double> samples;
  const std::size_t width = format.bits_per_sample / 8;
  for (const LoopbackPacket& packet : packets) {
    EXPECT_EQ(packet.data.size(), std::size_t{packet.frames} * format.block_align());
    for (std::uint32_t frame = 0; frame < packet.frames; ++frame) {
      const std::uint8_t* p = packet.data.data() + std::size_t{frame} * format.block_align() +
                              static_cast<std::size_t>(channel) * width;
      double value = 0.0;
      if (format.sample_type == kFloat) {
        float f = 0.0f;
        std::memcpy(&f, p, 4);
        value = f;
      } else {
        // A little-endian integer filling its container; 24 valid bits of 32 are the high ones.
        std::int64_t v = 0;
        for (std::size_t b = 0; b < width; ++b) {
          v |= std::int64_t{p[b]} << (8 * b);
        }
        const int shift = 64 - static_cast<int>(width) * 8;
        v = static_cast<std::int64_t>(static_cast<std::uint64_t>(v) << shift) >> shift;
        value = static_cast<double>(v) / std::pow(2.0, width * 8 - 1);
      }
      samples.push_back(value);
    }
  }
  return samples;
}

// Takes packets until `player` has finished and then for `tail` more.
std::vector<LoopbackPacket> Collect(PulseLoopbackCapture& capture,
                                    BackgroundProcess* player,
                                    std::chrono::milliseconds tail) {
  std::vector<LoopbackPacket> packets;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool player_done = player == nullptr;
  if (player_done) {
    deadline = std::chrono::steady_clock::now() + tail;
  }
  while (std::chrono::steady_clock::now() < deadline) {
    if (!player_done && !player->Running()) {
      player_done = true;
      deadline = std::chrono::steady_clock::now() + tail;
    }
    std::uint32_t frames = 0;
    EXPECT_EQ(capture.NextPacketFrames(&frames), LoopbackError::kNone);
    while (frames > 0) {
      LoopbackPacket packet;
      EXPECT_TRUE(capture.TakePacket(&packet));
      EXPECT_EQ(packet.frames, frames);
      packets.push_back(std::move(packet));
      capture.NextPacketFrames(&frames);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
  }
  return packets;
}

class MediaLoopbackServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SoundServerAvailable()) {
      GTEST_SKIP() << kSoundServerMissing;
    }
  }

  std::unique_ptr<PrivateSoundServer> StartServer(const std::string& format,
                                                  int rate,
                                                  int channels) {
    std::string error;
    std::unique_ptr<PrivateSoundServer> server =
        PrivateSoundServer::Start(format, rate, channels, &error);
    EXPECT_NE(server, nullptr) << error;
    return server;
  }
};

TEST_F(MediaLoopbackServerTest, CapturesWhatTheDefaultSinkPlaysInItsOwnFormat) {
  struct Case {
    const char* format;
    int rate;
    int channels;
    LoopbackSampleType type;
    std::uint16_t bits;
    std::uint16_t valid_bits;
    std::uint32_t mask;
  };
  const std::vector<Case> cases = {
      {"float32le", 48000, 2, kFloat, 32, 32, 0x3}, {"s16le", 44100, 2, kPcm, 16, 16, 0x3},
      {"s24le", 48000, 2, kPcm, 24, 24, 0x3},       {"s24-32le", 48000, 2, kPcm, 32, 24, 0x3},
      {"s32le", 48000, 1, kPcm, 32, 32, 0x4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.rate) + " Hz, " +
                 std::to_string(c.channels) + " channels");
    std::unique_ptr<PrivateSoundServer> server = StartServer(c.format, c.rate, c.channels);
    ASSERT_NE(server, nullptr);
    ASSERT_TRUE(server->StartKeeper());
    LoopbackSink sink;
    ASSERT_EQ(FindDefaultSink(&sink), LoopbackError::kNone);
    EXPECT_EQ(sink.name, server->sink());
    EXPECT_EQ(sink.monitor_source, server->sink() + ".monitor");
    EXPECT_EQ(sink.mix_format.sample_type, c.type);
    EXPECT_EQ(sink.mix_format.channels, c.channels);
    EXPECT_EQ(sink.mix_format.samples_per_second, static_cast<std::uint32_t>(c.rate));
    EXPECT_EQ(sink.mix_format.bits_per_sample, c.bits);
    EXPECT_EQ(sink.mix_format.valid_bits_per_sample, c.valid_bits);
    EXPECT_EQ(sink.mix_format.channel_mask, c.mask);

    std::unique_ptr<PulseLoopbackCapture> capture;
    ASSERT_EQ(PulseLoopbackCapture::Open(sink, static_cast<std::uint32_t>(c.rate) * 4, &capture),
              LoopbackError::kNone);
    ASSERT_EQ(capture->Start(), LoopbackError::kNone);
    std::unique_ptr<BackgroundProcess> player =
        server->Play(SineWave(440.0, 0.5, c.rate, static_cast<std::size_t>(c.rate) / 2), c.rate);
    ASSERT_NE(player, nullptr);
    const std::vector<LoopbackPacket> packets =
        Collect(*capture, player.get(), std::chrono::milliseconds(200));
    ASSERT_FALSE(packets.empty());

    std::vector<LoopbackPacket> audible;
    for (const LoopbackPacket& packet : packets) {
      if ((packet.flags & kLoopbackSilent) == 0) {
        audible.push_back(packet);
      }
    }
    for (int channel = 0; channel < c.channels; ++channel) {
      SCOPED_TRACE("channel " + std::to_string(channel));
      const std::vector<double> samples = ChannelOf(audible, sink.mix_format, channel);
      // Half a second of tone, less what the stream's start and end may cut.
      ASSERT_GT(samples.size(), static_cast<std::size_t>(c.rate) * 4 / 10);
      std::vector<std::int16_t> as16;
      for (double s : samples) {
        as16.push_back(static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0, 1.0) * 32767)));
      }
      const std::size_t start = FirstLoudSample(as16.data(), as16.size(), 3000);
      const std::size_t span = static_cast<std::size_t>(c.rate) * 3 / 10;
      ASSERT_LT(start + span, as16.size());
      EXPECT_NEAR(ToneFrequency(as16.data() + start, span, c.rate), 440.0, 2.0);
      EXPECT_NEAR(RootMeanSquare(as16.data() + start, span), 0.5 * 32767 / std::sqrt(2.0), 1500.0);
    }
  }
}

TEST_F(MediaLoopbackServerTest, WhileNothingPlaysEveryPacketIsFlaggedSilent) {
  std::unique_ptr<PrivateSoundServer> server = StartServer("float32le", 48000, 2);
  ASSERT_NE(server, nullptr);
  ASSERT_TRUE(server->StartKeeper());
  LoopbackSink sink;
  ASSERT_EQ(FindDefaultSink(&sink), LoopbackError::kNone);
  std::unique_ptr<PulseLoopbackCapture> capture;
  ASSERT_EQ(PulseLoopbackCapture::Open(sink, 48000, &capture), LoopbackError::kNone);
  ASSERT_EQ(capture->Start(), LoopbackError::kNone);
  const std::vector<LoopbackPacket> packets =
      Collect(*capture, nullptr, std::chrono::milliseconds(300));
  ASSERT_FALSE(packets.empty()) << "a running sink delivers packets";
  std::size_t largest = 0;
  for (const LoopbackPacket& packet : packets) {
    EXPECT_NE(packet.flags & kLoopbackSilent, 0u);
    EXPECT_EQ(packet.data.size(), packet.frames * 8u);
    largest = std::max<std::size_t>(largest, packet.frames);
  }
  // Packets come in about 10 ms pieces, not in the server's default large fragments.
  EXPECT_LE(largest, 48000u / 25);
}

TEST_F(MediaLoopbackServerTest, AReaderThatFallsBehindLosesTheOldestSoundAndIsTold) {
  std::unique_ptr<PrivateSoundServer> server = StartServer("float32le", 48000, 2);
  ASSERT_NE(server, nullptr);
  ASSERT_TRUE(server->StartKeeper());
  LoopbackSink sink;
  ASSERT_EQ(FindDefaultSink(&sink), LoopbackError::kNone);
  constexpr std::uint32_t kBufferFrames = 4800;  // 100 ms
  std::unique_ptr<PulseLoopbackCapture> capture;
  ASSERT_EQ(PulseLoopbackCapture::Open(sink, kBufferFrames, &capture), LoopbackError::kNone);
  ASSERT_EQ(capture->Start(), LoopbackError::kNone);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));

  std::vector<LoopbackPacket> packets;
  std::uint32_t frames = 0;
  std::uint64_t total = 0;
  while (capture->NextPacketFrames(&frames) == LoopbackError::kNone && frames > 0 &&
         total < kBufferFrames * 4) {
    LoopbackPacket packet;
    ASSERT_TRUE(capture->TakePacket(&packet));
    total += packet.frames;
    packets.push_back(std::move(packet));
  }
  ASSERT_FALSE(packets.empty());
  EXPECT_NE(packets.front().flags & kLoopbackDataDiscontinuity, 0u);
  // At most the buffer, plus what arrived while the loop above ran.
  EXPECT_LE(total, kBufferFrames + 48000 / 10);
}

TEST_F(MediaLoopbackServerTest, StopHaltsDeliveryAndALostServerFailsOnceDrained) {
  std::unique_ptr<PrivateSoundServer> server = StartServer("float32le", 48000, 2);
  ASSERT_NE(server, nullptr);
  ASSERT_TRUE(server->StartKeeper());
  LoopbackSink sink;
  ASSERT_EQ(FindDefaultSink(&sink), LoopbackError::kNone);
  std::unique_ptr<PulseLoopbackCapture> capture;
  ASSERT_EQ(PulseLoopbackCapture::Open(sink, 48000, &capture), LoopbackError::kNone);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::uint32_t frames = 99;
  ASSERT_EQ(capture->NextPacketFrames(&frames), LoopbackError::kNone);
  EXPECT_EQ(frames, 0u) << "nothing arrives before Start";

  ASSERT_EQ(capture->Start(), LoopbackError::kNone);
  EXPECT_FALSE(Collect(*capture, nullptr, std::chrono::milliseconds(200)).empty());
  ASSERT_EQ(capture->Stop(), LoopbackError::kNone);
  Collect(*capture, nullptr, std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_EQ(capture->NextPacketFrames(&frames), LoopbackError::kNone);
  EXPECT_EQ(frames, 0u) << "nothing arrives after Stop";

  ASSERT_EQ(capture->Start(), LoopbackError::kNone);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server->Kill();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  LoopbackError error = LoopbackError::kNone;
  std::size_t delivered_after_kill = 0;
  while (error == LoopbackError::kNone && std::chrono::steady_clock::now() < deadline) {
    error = capture->NextPacketFrames(&frames);
    LoopbackPacket packet;
    while (capture->TakePacket(&packet)) {
      ++delivered_after_kill;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(error, LoopbackError::kStreamFailed);
  EXPECT_GT(delivered_after_kill, 0u) << "packets received before the loss are still delivered";
  EXPECT_EQ(capture->Start(), LoopbackError::kStreamFailed);
}

}  // namespace
}  // namespace halvex::media_testing
