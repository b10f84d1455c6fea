#include "recorder/audio_conversion.h"

#include <gtest/gtest.h>
#include <ksmedia.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace halvex {
namespace {

WAVEFORMATEXTENSIBLE MakeFormat(WORD tag,
                                WORD channels,
                                DWORD rate,
                                WORD bits,
                                WORD extraBytes = 0,
                                WORD validBits = 0,
                                const GUID& subFormat = KSDATAFORMAT_SUBTYPE_PCM) {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = tag;
  format.Format.nChannels = channels;
  format.Format.nSamplesPerSec = rate;
  format.Format.wBitsPerSample = bits;
  format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
  format.Format.cbSize = extraBytes;
  format.Samples.wValidBitsPerSample = validBits;
  format.SubFormat = subFormat;
  return format;
}

struct FormatCase {
  const char* name;
  WAVEFORMATEXTENSIBLE format;
  int32_t rate, channels;
  bool isFloat;
  int32_t bits, sampleWidth, containerBytes;
  SampleEncoding encoding;
};

TEST(DeriveCaptureFormatTest, ReadsEveryKindOfMixFormat) {
  const GUID& kFloat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
  const FormatCase cases[] = {
      {"extensible float", MakeFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 22, 32, kFloat), 48000,
       2, true, 32, 4, 4, SampleEncoding::kFloat32},
      {"plain float", MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32), 44100, 2, true, 32, 4, 4,
       SampleEncoding::kFloat32},
      {"16-bit", MakeFormat(WAVE_FORMAT_PCM, 2, 44100, 16), 44100, 2, false, 16, 2, 2,
       SampleEncoding::kSigned16},
      {"32-bit integer is not float", MakeFormat(WAVE_FORMAT_PCM, 2, 48000, 32), 48000, 2, false,
       32, 4, 4, SampleEncoding::kSigned32},
      {"packed 24-bit", MakeFormat(WAVE_FORMAT_PCM, 2, 48000, 24), 48000, 2, false, 24, 3, 3,
       SampleEncoding::kSigned24},
      {"8-bit", MakeFormat(WAVE_FORMAT_PCM, 1, 8000, 8), 8000, 1, false, 8, 1, 1,
       SampleEncoding::kUnsigned8},
      {"24 valid bits in 32", MakeFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 22, 24), 48000, 2,
       false, 24, 3, 4, SampleEncoding::kSigned32},
      {"extensible integer 32", MakeFormat(WAVE_FORMAT_EXTENSIBLE, 6, 48000, 32, 22, 32), 48000, 6,
       false, 32, 4, 4, SampleEncoding::kSigned32},
      {"short extension ignores the subformat",
       MakeFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 16, 21, 0, kFloat), 48000, 2, false, 16, 2, 2,
       SampleEncoding::kSigned16},
      {"no valid bits keeps the container bits",
       MakeFormat(WAVE_FORMAT_EXTENSIBLE, 2, 48000, 32, 22, 0, kFloat), 48000, 2, true, 32, 4, 4,
       SampleEncoding::kFloat32},
      {"no channels counts as one", MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 0, 48000, 32), 48000, 1,
       true, 32, 4, 4, SampleEncoding::kFloat32},
      {"float without bits", MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 0), 48000, 2, true, 32, 4,
       4, SampleEncoding::kFloat32},
      {"integer without bits", MakeFormat(WAVE_FORMAT_PCM, 2, 48000, 0), 48000, 2, false, 16, 2, 2,
       SampleEncoding::kSigned16},
      {"64-bit float", MakeFormat(WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 64), 48000, 2, true, 64, 8, 8,
       SampleEncoding::kUnsupported},
      {"rate above 2^31 is negative", MakeFormat(WAVE_FORMAT_PCM, 1, 0x80000000u, 16),
       std::numeric_limits<int32_t>::min(), 1, false, 16, 2, 2, SampleEncoding::kSigned16},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CaptureFormat format = DeriveCaptureFormat(c.format.Format);
    EXPECT_EQ(format.rate, c.rate);
    EXPECT_EQ(format.channels, c.channels);
    EXPECT_EQ(format.isFloat, c.isFloat);
    EXPECT_EQ(format.bits, c.bits);
    EXPECT_EQ(format.sampleWidth, c.sampleWidth);
    EXPECT_EQ(format.containerBytes, c.containerBytes);
    EXPECT_EQ(format.encoding, c.encoding);
  }
}

template <typename T>
std::vector<uint8_t> Bytes(const std::vector<T>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

std::vector<uint8_t> Packed24(const std::vector<int32_t>& values) {
  std::vector<uint8_t> bytes;
  for (int32_t value : values) {
    const uint32_t bits = static_cast<uint32_t>(value);
    bytes.insert(bytes.end(), {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                               static_cast<uint8_t>(bits >> 16)});
  }
  return bytes;
}

CaptureFormat Format(SampleEncoding encoding, int32_t channels, int32_t containerBytes) {
  CaptureFormat format;
  format.rate = 48000;
  format.channels = channels;
  format.containerBytes = containerBytes;
  format.isFloat = encoding == SampleEncoding::kFloat32;
  format.encoding = encoding;
  return format;
}

struct MixCase {
  const char* name;
  CaptureFormat format;
  std::vector<uint8_t> data;
  std::vector<int16_t> expected;
};

TEST(MixDownToMonoTest, ConvertsEverySupportedEncoding) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const MixCase cases[] = {
      {"float stereo mean",
       Format(SampleEncoding::kFloat32, 2, 4),
       Bytes<float>({0.5f, 0.25f, 1.0f, -1.0f, 0.5f, 0.5f, -0.5f, -0.5f}),
       {12288, 0, 16384, -16384}},
      {"float clamps to 32767",
       Format(SampleEncoding::kFloat32, 2, 4),
       Bytes<float>({1.5f, 1.5f, -1.5f, -1.5f, 3.0f, -0.5f}),
       {32767, -32767, 32767}},
      {"float NaN is silence", Format(SampleEncoding::kFloat32, 1, 4), Bytes<float>({nan}), {0}},
      {"16-bit truncates toward zero",
       Format(SampleEncoding::kSigned16, 2, 2),
       Bytes<int16_t>({3, 4, -3, -4, 32767, 32767, -32768, -32768}),
       {3, -3, 32767, -32768}},
      {"16-bit three channels",
       Format(SampleEncoding::kSigned16, 3, 2),
       Bytes<int16_t>({1, 1, 1, -1, -1, 0}),
       {1, 0}},
      {"8-bit unsigned",
       Format(SampleEncoding::kUnsigned8, 1, 1),
       {0, 128, 255, 129},
       {-32768, 0, 32512, 256}},
      {"8-bit stereo", Format(SampleEncoding::kUnsigned8, 2, 1), {0, 255}, {-128}},
      {"packed 24-bit",
       Format(SampleEncoding::kSigned24, 1, 3),
       Packed24({0x7FFFFF, -0x800000, 0x000100, -1, 0x123456}),
       {32767, -32768, 1, -1, 0x1234}},
      {"packed 24-bit stereo",
       Format(SampleEncoding::kSigned24, 2, 3),
       Packed24({0x010000, 0x030000, -0x000100, 0x000100}),
       {512, 0}},
      {"32-bit integer",
       Format(SampleEncoding::kSigned32, 1, 4),
       Bytes<int32_t>({0x7FFFFFFF, INT32_MIN, 0x00010000, 0x12345600, -0x10000}),
       {32767, -32768, 1, 0x1234, -1}},
      {"32-bit integer stereo",
       Format(SampleEncoding::kSigned32, 2, 4),
       Bytes<int32_t>({0x7FFFFFFF, 0x7FFFFFFF, INT32_MIN, 0x10000}),
       {32767, -16383}},
  };
  for (const MixCase& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t frames = static_cast<uint32_t>(
        c.data.size() / (static_cast<size_t>(c.format.channels) * c.format.containerBytes));
    EXPECT_EQ(MixDownToMono(c.data.data(), frames, c.format), c.expected);
  }
}

TEST(MixDownToMonoTest, UnsupportedOrEmptyInputGivesNothing) {
  const std::vector<uint8_t> data(16, 1);
  EXPECT_TRUE(MixDownToMono(data.data(), 2, Format(SampleEncoding::kUnsupported, 1, 8)).empty());
  EXPECT_TRUE(MixDownToMono(data.data(), 0, Format(SampleEncoding::kSigned16, 1, 2)).empty());
  EXPECT_TRUE(MixDownToMono(nullptr, 2, Format(SampleEncoding::kSigned16, 1, 2)).empty());
}

struct ResampleCase {
  const char* name;
  std::vector<int16_t> input;
  int32_t rate;
  std::vector<int16_t> expected;
};

std::vector<int16_t> ResampleAll(StreamResampler& resampler, const std::vector<int16_t>& input) {
  return resampler.Resample(input.data(), input.size());
}

TEST(StreamResamplerTest, InterpolatesOneInputSampleBehind) {
  const ResampleCase cases[] = {
      {"48 kHz passes unchanged", {1, -2, 3}, 48000, {1, -2, 3}},
      {"zero rate passes unchanged", {1, -2, 3}, 0, {1, -2, 3}},
      {"negative rate passes unchanged", {5}, -44100, {5}},
      {"doubling repeats the first sample, then interpolates",
       {0, 100, 200, 300},
       24000,
       {0, 0, 0, 50, 100, 150, 200, 250}},
      {"halves round away from zero", {0, 1, 0, -1}, 24000, {0, 0, 0, 1, 1, 1, 0, -1}},
      {"halving takes every second sample", {10, 20, 30, 40}, 96000, {10, 20}},
      {"one sample at a high rate still gives one", {77}, 200000, {77}},
      {"too long a result is dropped", std::vector<int16_t>(11, 1), 1, {}},
  };
  for (const ResampleCase& c : cases) {
    SCOPED_TRACE(c.name);
    StreamResampler resampler(c.rate);
    EXPECT_EQ(ResampleAll(resampler, c.input), c.expected);
  }
}

// Any split of a stream into packets gives the samples of the whole stream at once: the phase and
// the last sample carry over, so a border leaves neither a step nor a missing or extra sample.
TEST(StreamResamplerTest, PacketBordersChangeNothing) {
  const struct {
    int32_t rate;
    std::vector<size_t> packets;
  } cases[] = {
      {44100, {441, 441, 441}}, {44100, {448, 448, 448, 448, 448}}, {44100, {1, 2, 3, 500, 7, 13}},
      {22050, {100, 1, 999}},   {96000, {3, 5, 480, 1, 1, 1}},      {16000, {160, 159, 161}},
      {47999, {1024, 1024}},    {192000, {1, 1, 1, 1, 4000}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rate << " Hz");
    std::vector<int16_t> stream;
    for (size_t packet : c.packets) {
      for (size_t i = 0; i < packet; ++i) {
        stream.push_back(
            static_cast<int16_t>(std::lround(9000.0 * std::sin(stream.size() * 0.05))));
      }
    }
    StreamResampler whole(c.rate);
    const std::vector<int16_t> expected = ResampleAll(whole, stream);

    StreamResampler split(c.rate);
    std::vector<int16_t> joined;
    size_t offset = 0;
    for (size_t packet : c.packets) {
      const std::vector<int16_t> part = split.Resample(stream.data() + offset, packet);
      joined.insert(joined.end(), part.begin(), part.end());
      offset += packet;
    }
    EXPECT_EQ(joined, expected);
  }
}

// N frames in give ⌈N × 48000 / rate⌉ samples out over the stream, within one sample of the exact
// ratio, for packets that do not divide evenly; a single packet of 441 frames at 44.1 kHz gives
// 480.
TEST(StreamResamplerTest, TotalLengthFollowsTheRateRatio) {
  const struct {
    int32_t rate;
    size_t packet;
    int packets;
  } cases[] = {
      {44100, 441, 1}, {44100, 448, 1},   {44100, 448, 20000}, {44100, 441, 1000},
      {96000, 480, 7}, {16000, 160, 333}, {11025, 113, 5000},  {88200, 1000, 3001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.packets << " x " << c.packet << " at " << c.rate);
    StreamResampler resampler(c.rate);
    const std::vector<int16_t> packet(c.packet, 1000);
    int64_t produced = 0;
    for (int i = 0; i < c.packets; ++i) {
      const std::vector<int16_t> out = resampler.Resample(packet.data(), packet.size());
      for (int16_t sample : out) {
        ASSERT_EQ(sample, 1000);
      }
      produced += static_cast<int64_t>(out.size());
    }
    const int64_t frames = static_cast<int64_t>(c.packet) * c.packets;
    EXPECT_EQ(produced, (frames * 48000 + c.rate - 1) / c.rate);
  }
  StreamResampler one(44100);
  EXPECT_EQ(ResampleAll(one, std::vector<int16_t>(441, 5)).size(), 480u);
}

TEST(StreamResamplerTest, RestartBeginsANewStream) {
  StreamResampler resampler(24000);
  ResampleAll(resampler, {0, 100, 200});
  resampler.Restart();
  // The new stream's first sample is repeated before it, as at the very start.
  EXPECT_EQ(ResampleAll(resampler, {400, 500}), (std::vector<int16_t>{400, 400, 400, 450}));
}

TEST(IsAudibleTest, AnySampleBeyond180IsAudible) {
  const struct {
    std::vector<int16_t> samples;
    bool audible;
  } cases[] = {
      {{}, false},      {{0, 180, -180, 17}, false}, {{0, 181}, true}, {{-181, 0}, true},
      {{-32768}, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsAudible(c.samples), c.audible) << ::testing::PrintToString(c.samples);
  }
}

}  // namespace
}  // namespace halvex
