// Damaged and hostile PNG files sent with "appendPng" to a running recording, as the first frame
// and after a good one: each is taken or dropped as the recorder defines, the answer says which,
// the pixels of a frame that decodes reach the writer as the right NV12, and the recording takes
// a good frame afterwards.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/media/png_maker.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/png_input_support.h"
#include "tests/support/encodable_value_printer.h"
#include "windows_testing/imaging.h"

namespace halvex::reliability_testing {
namespace {

using media_testing::FindChunk;
using media_testing::MakeChunk;
using media_testing::MakeTestPng;
using media_testing::PngChunk;
using media_testing::PngSpec;
using media_testing::TestPng;

constexpr std::uint32_t kMaxDeclaredSide = 0x7FFFFFFF;  // the largest side a PNG may declare

struct HostileCase {
  std::string name;
  Bytes png;
  FrameOutcome outcome;
  // For a frame that decodes: its full size and the pixels a correct decoder gives.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes bgra;
};

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const HostileCase& hostile, std::ostream* out) {
  *out << hostile.name;
}

HostileCase Dropped(std::string name, Bytes png, FrameOutcome outcome) {
  return {std::move(name), std::move(png), outcome, 0, 0, {}};
}

HostileCase Decoded(std::string name,
                    Bytes png,
                    std::uint32_t width,
                    std::uint32_t height,
                    Bytes bgra) {
  return {std::move(name), std::move(png), FrameOutcome::kDecoded, width, height, std::move(bgra)};
}

TestPng Varied(std::uint32_t width,
               std::uint32_t height,
               std::uint8_t color_type,
               bool interlaced = false) {
  PngSpec format;
  format.width = width;
  format.height = height;
  format.color_type = color_type;
  format.interlaced = interlaced;
  return MakeTestPng(format);
}

// Smooth colours, or greys when `grey`, with an alpha that varies too.
Bytes Gradient(std::uint32_t width, std::uint32_t height, bool grey) {
  Bytes bgra;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const auto level = static_cast<std::uint8_t>((x * 255 / width + y * 37) & 0xFF);
      const auto other = static_cast<std::uint8_t>(255 - y * 255 / height);
      const auto third = static_cast<std::uint8_t>((x * y * 7) & 0xFF);
      if (grey) {
        bgra.insert(bgra.end(), {level, level, level, 0xFF});
      } else {
        bgra.insert(bgra.end(), {level, other, third, static_cast<std::uint8_t>(x * 16)});
      }
    }
  }
  return bgra;
}

Bytes Signature() {
  return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

Bytes SignatureFollowedBy(const Bytes& rest) {
  Bytes file = Signature();
  file.insert(file.end(), rest.begin(), rest.end());
  return file;
}

// A chunk whose length field promises `declared` bytes of which only `present` follow.
Bytes ChunkPromising(const std::string& type, std::uint32_t declared, std::size_t present) {
  Bytes chunk = BigEndian32(declared);
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), present, 0x41);
  return chunk;
}

std::vector<HostileCase> HostileCases() {
  const TestPng rgba = Varied(16, 12, media_testing::kTruecolorAlpha);
  const TestPng indexed = Varied(16, 12, media_testing::kIndexed);
  const PngChunk header = FindChunk(rgba.file, "IHDR");
  const PngChunk data = FindChunk(rgba.file, "IDAT");
  const PngChunk end = FindChunk(rgba.file, "IEND");
  auto declared = [&](std::uint32_t width, std::uint32_t height) {
    return WithDeclaredSize(rgba.file, width, height);
  };
  Bytes pseudo_random;
  std::uint32_t state = 12345;
  for (int i = 0; i < 600; ++i) {
    state = state * 1103515245u + 12345u;
    pseudo_random.push_back(static_cast<std::uint8_t>(state >> 16));
  }
  Bytes trailing = rgba.file;
  trailing.insert(trailing.end(), pseudo_random.begin(), pseudo_random.end());
  Bytes huge_data_length = rgba.file;
  const Bytes most = BigEndian32(kMaxDeclaredSide);
  std::copy(most.begin(), most.end(), huge_data_length.begin() + static_cast<long>(data.offset));

  const TestPng odd = Varied(15, 9, media_testing::kTruecolor);
  const TestPng interlaced = Varied(16, 12, media_testing::kTruecolorAlpha, true);
  const TestPng interlaced_tiny = Varied(3, 3, media_testing::kGrayAlpha, true);
  const Bytes grey = Gradient(16, 12, true);
  const Bytes colour = Gradient(16, 12, false);
  const Bytes second_frame = Varied(16, 12, media_testing::kTruecolor).file;

  using O = FrameOutcome;
  return {
      // Truncated files.
      Dropped("seven signature bytes", Cut(rgba.file, 7), O::kNotDecoded),
      Dropped("cut after the signature", Cut(rgba.file, 8), O::kDecoderRefused),
      Dropped("cut inside the header", Cut(rgba.file, header.data_offset() + 5),
              O::kDecoderRefused),
      Dropped("cut after the header", Cut(rgba.file, header.end()), O::kFrameRefused),
      Dropped("cut in the middle of the image data",
              Cut(rgba.file, data.data_offset() + data.length / 2), O::kPixelsRefused),
      Decoded("cut before the end chunk", Cut(rgba.file, end.offset), 16, 12, rgba.bgra),
      Decoded("cut inside the end chunk", Cut(rgba.file, end.offset + 6), 16, 12, rgba.bgra),
      // Wrong checksums.
      Dropped("header checksum wrong", WithBadCrc(rgba.file, header), O::kDecoderRefused),
      Dropped("image data checksum wrong", WithBadCrc(rgba.file, data), O::kPixelsRefused),
      Dropped("end chunk checksum wrong", WithBadCrc(rgba.file, end), O::kPixelsRefused),
      // Declared sizes no recording can hold, or that overflow 32-bit arithmetic.
      Dropped("100000 x 100000", declared(100000, 100000), O::kDecoderRefused),
      Dropped("2^31-1 x 1", declared(kMaxDeclaredSide, 1), O::kDecoderRefused),
      Dropped("1 x 2^31-1", declared(1, kMaxDeclaredSide), O::kDecoderRefused),
      Dropped("2^31-1 x 2^31-1", declared(kMaxDeclaredSide, kMaxDeclaredSide), O::kDecoderRefused),
      Dropped("65536 x 65536, bytes 2^34", declared(65536, 65536), O::kDecoderRefused),
      Dropped("32768 x 32768, bytes 2^32", declared(32768, 32768), O::kDecoderRefused),
      Dropped("2^30 x 4, bytes 2^34", declared(1u << 30, 4), O::kDecoderRefused),
      Dropped("46341 x 46341, pixels over 2^31", declared(46341, 46341), O::kDecoderRefused),
      Dropped("2^31 x 1, wider than allowed", declared(0x80000000u, 1), O::kDecoderRefused),
      Dropped("image data declaring 2 GiB", huge_data_length, O::kPixelsRefused),
      Dropped("text chunk declaring 2 GiB",
              Splice(rgba.file, data.offset, ChunkPromising("tEXt", kMaxDeclaredSide, 40)),
              O::kFrameRefused),
      // Sizes below what a video takes.
      Dropped("width zero", declared(0, 12), O::kDecoderRefused),
      Dropped("height zero", declared(16, 0), O::kDecoderRefused),
      Dropped("1 x 100", Varied(1, 100, media_testing::kTruecolorAlpha).file, O::kSizeRefused),
      // Chunks missing or out of place.
      Dropped("palette image without PLTE",
              WithoutChunk(indexed.file, FindChunk(indexed.file, "PLTE")), O::kFrameRefused),
      Dropped("unknown critical chunk before the image data",
              Splice(rgba.file, data.offset, MakeChunk("QUUX", {1, 2, 3})), O::kFrameRefused),
      // Not a PNG behind the signature, or behind its first four bytes.
      Dropped("signature then random bytes", SignatureFollowedBy(pseudo_random),
              O::kDecoderRefused),
      Dropped("signature then a JPEG start",
              SignatureFollowedBy({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00}),
              O::kDecoderRefused),
      Dropped("signature then a header of 12 bytes",
              SignatureFollowedBy(MakeChunk("IHDR", {0, 0, 0, 16, 0, 0, 0, 12, 8, 6, 0, 0})),
              O::kDecoderRefused),
      Dropped(
          "first four signature bytes then text",
          Bytes{0x89, 'P', 'N', 'G', ' ', 'i', 's', ' ', 'n', 'o', 't', ' ', 'h', 'e', 'r', 'e'},
          O::kDecoderRefused),
      // Formats that decode.
      Decoded("bytes after the end chunk", trailing, 16, 12, rgba.bgra),
      Decoded("odd size 15 x 9", odd.file, 15, 9, odd.bgra),
      Decoded("16-bit grey", Encode16BitPng(16, 12, media_testing::kGray, grey, false), 16, 12,
              grey),
      Decoded("16-bit RGBA", Encode16BitPng(16, 12, media_testing::kTruecolorAlpha, colour, false),
              16, 12, colour),
      Decoded("Adam7 interlaced RGBA", interlaced.file, 16, 12, interlaced.bgra),
      Decoded("Adam7 interlaced 16-bit RGBA",
              Encode16BitPng(16, 12, media_testing::kTruecolorAlpha, colour, true), 16, 12, colour),
      Decoded("Adam7 interlaced 3 x 3 with empty passes", interlaced_tiny.file, 3, 3,
              interlaced_tiny.bgra),
      Decoded("animated, default image first", Animated(rgba.file, second_frame), 16, 12,
              rgba.bgra),
  };
}

std::string TestName(const ::testing::TestParamInfo<HostileCase>& info) {
  std::string name;
  for (const char c : info.param.name) {
    name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
  }
  return name;
}

// Where two byte strings part, for a readable failure instead of thousands of bytes.
std::string FirstDifference(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) {
    return "size " + std::to_string(actual.size()) + " instead of " +
           std::to_string(expected.size());
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      return "byte " + std::to_string(i) + " is " + std::to_string(actual[i]) + " instead of " +
             std::to_string(expected[i]);
    }
  }
  return "";
}

class HostilePngTest : public ChannelRecordingTest,
                       public ::testing::WithParamInterface<HostileCase> {
 protected:
  // Sends the hostile frame into a fresh recording, as its first frame or after a good one, then
  // a good frame, and checks the answers and everything the writer received.
  void SendBetweenGoodFrames(bool after_a_good_frame) {
    const HostileCase& hostile = GetParam();
    const bool decodes = hostile.outcome == FrameOutcome::kDecoded;
    // Good frames take the hostile frame's even size, so no scaling stands between its pixels and
    // what the writer receives.
    const std::uint32_t width = decodes ? hostile.width & ~1u : 16;
    const std::uint32_t height = decodes ? hostile.height & ~1u : 12;
    const Bytes good_pixels = testing_support::SolidBgra(width, height, {0x20, 0xC0, 0x60, 0xFF});
    const Bytes good = media_testing::EncodeBgraPng(width, height, good_pixels);

    testing::ResetMediaFoundation();
    std::vector<Bytes> expected_frames;
    ASSERT_TRUE(StartRecording());
    if (after_a_good_frame) {
      ASSERT_EQ(Append(good), 1);
      expected_frames.push_back(ExpectedNv12(good_pixels, width, height));
    }
    testing::ResetImaging();
    testing::DecodeRealImages();
    const auto before = static_cast<std::int32_t>(expected_frames.size());
    EXPECT_EQ(Append(hostile.png), before + (decodes ? 1 : 0));
    const FrameOutcome outcome = OutcomeOfRecordedCalls();
    EXPECT_EQ(outcome, hostile.outcome) << Describe(outcome);
    if (decodes) {
      expected_frames.push_back(
          ExpectedNv12(Crop(hostile.bgra, hostile.width, width, height), width, height));
    }
    expected_frames.push_back(ExpectedNv12(good_pixels, width, height));
    const auto frames = static_cast<std::int32_t>(expected_frames.size());
    EXPECT_EQ(Append(good), frames);
    EXPECT_EQ(StopRecording(), frames);

    EXPECT_EQ(VideoFrameSize(), std::make_pair(width, height));
    const std::vector<testing::RecordedSample> samples = VideoSamples();
    ASSERT_EQ(samples.size(), expected_frames.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      SCOPED_TRACE("frame " + std::to_string(i));
      EXPECT_EQ(samples[i].time, static_cast<std::int64_t>(i) * kFrameDuration);
      EXPECT_EQ(FirstDifference(samples[i].bytes, expected_frames[i]), "");
    }
  }
};

TEST_P(HostilePngTest, AsFirstFrameOrLaterIsTakenOrDroppedAsDefinedAndTheRecordingGoesOn) {
  {
    SCOPED_TRACE("as the first frame");
    SendBetweenGoodFrames(false);
  }
  {
    SCOPED_TRACE("after a good frame");
    SendBetweenGoodFrames(true);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostilePngTest, ::testing::ValuesIn(HostileCases()), TestName);

class PngPixelTest : public ChannelRecordingTest {};

// Worked values of the conversion, reached through 16-bit and interlaced files whose colours a
// decoder must not shift.
TEST_F(PngPixelTest, SolidColoursReachTheWriterAsTheirDocumentedNv12) {
  struct Case {
    const char* name;
    std::uint8_t color_type;
    bool interlaced;
    std::array<std::uint8_t, 4> bgra;
    std::uint8_t y, u, v;
  };
  const std::vector<Case> cases = {
      {"16-bit grey white", media_testing::kGray, false, {255, 255, 255, 255}, 235, 128, 128},
      {"16-bit grey black", media_testing::kGray, true, {0, 0, 0, 255}, 16, 128, 128},
      {"16-bit RGBA red", media_testing::kTruecolorAlpha, false, {0, 0, 255, 255}, 82, 90, 240},
      {"16-bit RGBA blue, interlaced",
       media_testing::kTruecolorAlpha,
       true,
       {255, 0, 0, 128},
       41,
       240,
       110},
  };
  constexpr std::uint32_t kWidth = 18;  // pitch 32: the rows carry padding
  constexpr std::uint32_t kHeight = 6;
  constexpr std::uint32_t kPitch = 32;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ResetMediaFoundation();
    ASSERT_TRUE(StartRecording());
    const Bytes pixels = testing_support::SolidBgra(kWidth, kHeight, c.bgra);
    ASSERT_EQ(Append(Encode16BitPng(kWidth, kHeight, c.color_type, pixels, c.interlaced)), 1);
    ASSERT_EQ(StopRecording(), 1);
    const std::vector<testing::RecordedSample> samples = VideoSamples();
    ASSERT_EQ(samples.size(), 1u);
    const Bytes& nv12 = samples[0].bytes;
    ASSERT_EQ(nv12.size(), std::size_t{kPitch} * (kHeight + kHeight / 2));
    for (std::uint32_t row = 0; row < kHeight + kHeight / 2; ++row) {
      const bool luma = row < kHeight;
      for (std::uint32_t x = 0; x < kPitch; ++x) {
        const std::uint8_t chroma = x % 2 == 0 ? c.u : c.v;
        const std::uint8_t expected = x >= kWidth ? 0 : luma ? c.y : chroma;
        ASSERT_EQ(nv12[row * kPitch + x], expected) << "row " << row << ", byte " << x;
      }
    }
  }
}

TEST_F(PngPixelTest, InterlacedFramesGiveThePixelsOfTheirPlainTwins) {
  struct Case {
    const char* name;
    PngSpec format;
  };
  const std::vector<Case> cases = {
      {"8-bit RGBA", {20, 14, media_testing::kTruecolorAlpha, 8, false, false}},
      {"16-bit RGBA", {20, 14, media_testing::kTruecolorAlpha, 16, false, false}},
      {"16-bit grey", {20, 14, media_testing::kGray, 16, false, false}},
      {"2-bit palette with transparency", {20, 14, media_testing::kIndexed, 2, false, true}},
      {"1-bit grey, 9 x 5", {9, 5, media_testing::kGray, 1, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ResetMediaFoundation();
    PngSpec interlaced_format = c.format;
    interlaced_format.interlaced = true;
    ASSERT_TRUE(StartRecording());
    ASSERT_EQ(Append(MakeTestPng(c.format).file), 1);
    ASSERT_EQ(Append(MakeTestPng(interlaced_format).file), 2);
    ASSERT_EQ(StopRecording(), 2);
    const std::vector<testing::RecordedSample> samples = VideoSamples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(FirstDifference(samples[1].bytes, samples[0].bytes), "");
  }
}

}  // namespace
}  // namespace halvex::reliability_testing
