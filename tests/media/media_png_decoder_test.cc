#include "media_png_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "png_maker.h"

namespace halvex::media_testing {
namespace {

using platform::media::PngDecoder;
using platform::media::PngFailure;
using platform::media::PngLimits;
using platform::media::PngRect;
using platform::media::PngStage;
using platform::media::PngStatus;

std::string Describe(const PngStatus& status) {
  static const char* const kStages[] = {"header", "frame", "pixels"};
  return std::string(kStages[static_cast<int>(status.stage)]) + " failure " +
         std::to_string(static_cast<int>(status.failure)) + " (library " +
         std::to_string(status.library_code) + ")";
}

// Decodes the whole image through the three steps, failing the test at the first failure.
std::vector<std::uint8_t> DecodeAll(const std::vector<std::uint8_t>& file,
                                    std::uint32_t* width = nullptr,
                                    std::uint32_t* height = nullptr) {
  std::unique_ptr<PngDecoder> decoder;
  PngStatus status = PngDecoder::Open(file.data(), file.size(), PngLimits(), &decoder);
  EXPECT_TRUE(status.ok()) << Describe(status);
  if (!status.ok()) {
    return {};
  }
  status = decoder->OpenFrame();
  EXPECT_TRUE(status.ok()) << Describe(status);
  std::vector<std::uint8_t> pixels(std::size_t{decoder->width()} * decoder->height() * 4, 0xCD);
  status = decoder->CopyPixels(nullptr, decoder->width() * 4,
                               static_cast<std::uint32_t>(pixels.size()), pixels.data());
  EXPECT_TRUE(status.ok()) << Describe(status);
  if (width != nullptr) {
    *width = decoder->width();
  }
  if (height != nullptr) {
    *height = decoder->height();
  }
  return pixels;
}

// The index of the first byte further than `tolerance` from the expected one, or -1.
long FirstDifference(const std::vector<std::uint8_t>& actual,
                     const std::vector<std::uint8_t>& expected,
                     int tolerance) {
  if (actual.size() != expected.size()) {
    return 0;
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (std::abs(int{actual[i]} - int{expected[i]}) > tolerance) {
      return static_cast<long>(i);
    }
  }
  return -1;
}

std::string Name(const PngSpec& png_spec) {
  static const char* const kTypes[] = {"gray", "?", "rgb", "indexed", "grayalpha", "?", "rgba"};
  return std::string(kTypes[png_spec.color_type]) + std::to_string(png_spec.bit_depth) +
         (png_spec.transparency ? "_trns" : "") + (png_spec.interlaced ? "_interlaced" : "");
}

std::vector<PngSpec> EveryFormat() {
  struct Format {
    std::uint8_t color_type;
    std::vector<std::uint8_t> depths;
    bool transparency_allowed;
  };
  const std::vector<Format> formats = {
      {kGray, {1, 2, 4, 8, 16}, true},   {kTruecolor, {8, 16}, true},
      {kIndexed, {1, 2, 4, 8}, true},    {kGrayAlpha, {8, 16}, false},
      {kTruecolorAlpha, {8, 16}, false},
  };
  std::vector<PngSpec> specs;
  for (const Format& format : formats) {
    for (std::uint8_t depth : format.depths) {
      for (bool transparency : {false, true}) {
        if (transparency && !format.transparency_allowed) {
          continue;
        }
        for (bool interlaced : {false, true}) {
          PngSpec png_spec;
          // Odd sizes, smaller and larger than the 8 × 8 interlace grid.
          png_spec.width = interlaced ? 19 : 13;
          png_spec.height = interlaced ? 11 : 5;
          png_spec.color_type = format.color_type;
          png_spec.bit_depth = depth;
          png_spec.transparency = transparency;
          png_spec.interlaced = interlaced;
          specs.push_back(png_spec);
        }
      }
    }
  }
  return specs;
}

TEST(MediaPngDecoderTest, DecodesEveryColourTypeDepthTransparencyAndInterlaceToStraightBgra) {
  for (const PngSpec& png_spec : EveryFormat()) {
    SCOPED_TRACE(Name(png_spec));
    const TestPng png = MakeTestPng(png_spec);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    const std::vector<std::uint8_t> pixels = DecodeAll(png.file, &width, &height);
    EXPECT_EQ(width, png_spec.width);
    EXPECT_EQ(height, png_spec.height);
    const long at = FirstDifference(pixels, png.bgra, png.tolerance);
    EXPECT_EQ(at, -1) << "pixel " << at / 4 << " byte " << at % 4;
  }
}

TEST(MediaPngDecoderTest, CopiesExactlyTheRectangleAtTheStrideAndLeavesTheGapsAlone) {
  struct Case {
    const char* name;
    bool whole;  // a null rectangle
    PngRect rect;
    std::uint32_t padding;  // stride beyond the rectangle's row
  };
  const std::vector<Case> cases = {
      {"null rectangle", true, {0, 0, 13, 9}, 0},
      {"whole image with padded rows", false, {0, 0, 13, 9}, 12},
      {"inner block", false, {1, 2, 5, 3}, 4},
      {"bottom right pixel", false, {12, 8, 1, 1}, 0},
      {"last column", false, {12, 0, 1, 9}, 8},
      {"one row", false, {0, 4, 13, 1}, 0},
  };
  for (bool interlaced : {false, true}) {
    PngSpec png_spec;
    png_spec.width = 13;
    png_spec.height = 9;
    png_spec.interlaced = interlaced;
    const TestPng png = MakeTestPng(png_spec);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (interlaced ? " (interlaced)" : ""));
      std::unique_ptr<PngDecoder> decoder;
      ASSERT_TRUE(PngDecoder::Open(png.file.data(), png.file.size(), PngLimits(), &decoder).ok());
      const PngRect& r = c.rect;
      const std::uint32_t stride = static_cast<std::uint32_t>(r.width) * 4 + c.padding;
      // The last row needs no padding after it: the buffer is exactly as large as required.
      std::vector<std::uint8_t> buffer(stride * static_cast<std::uint32_t>(r.height - 1) +
                                           static_cast<std::uint32_t>(r.width) * 4,
                                       0xCD);
      const PngStatus status = decoder->CopyPixels(
          c.whole ? nullptr : &r, stride, static_cast<std::uint32_t>(buffer.size()), buffer.data());
      ASSERT_TRUE(status.ok()) << Describe(status);
      for (int y = 0; y < r.height; ++y) {
        for (std::uint32_t i = 0; i < stride && y * stride + i < buffer.size(); ++i) {
          const std::uint8_t got = buffer[y * stride + i];
          if (i < static_cast<std::uint32_t>(r.width) * 4) {
            const std::size_t source =
                (std::size_t(r.y + y) * png_spec.width + static_cast<std::size_t>(r.x)) * 4 + i;
            ASSERT_EQ(got, png.bgra[source]) << "row " << y << " byte " << i;
          } else {
            ASSERT_EQ(got, 0xCD) << "padding written in row " << y;
          }
        }
      }
    }
  }
}

TEST(MediaPngDecoderTest, RefusesRectanglesAndBuffersThatDoNotFit) {
  struct Case {
    const char* name;
    PngRect rect;
    std::int64_t stride_change;  // from 4 × rect width
    std::int64_t size_change;    // from the size the rectangle needs
    bool null_buffer;
    PngFailure expected;
  };
  const std::vector<Case> cases = {
      {"negative x", {-1, 0, 2, 2}, 0, 0, false, PngFailure::kInvalidArgument},
      {"negative height", {0, 0, 2, -1}, 0, 0, false, PngFailure::kInvalidArgument},
      {"one column too wide", {0, 0, 14, 1}, 0, 0, false, PngFailure::kInvalidArgument},
      {"starts past the right edge", {13, 0, 1, 1}, 0, 0, false, PngFailure::kInvalidArgument},
      {"one row too high", {0, 1, 13, 9}, 0, 0, false, PngFailure::kInvalidArgument},
      {"stride one byte short", {0, 0, 13, 9}, -1, 0, false, PngFailure::kBufferTooSmall},
      {"buffer one byte short", {0, 0, 13, 9}, 0, -1, false, PngFailure::kBufferTooSmall},
      {"no buffer", {0, 0, 13, 9}, 0, 0, true, PngFailure::kInvalidArgument},
      {"empty rectangle", {3, 3, 0, 0}, 0, 0, false, PngFailure::kNone},
  };
  PngSpec png_spec;
  png_spec.width = 13;
  png_spec.height = 9;
  const TestPng png = MakeTestPng(png_spec);
  std::unique_ptr<PngDecoder> decoder;
  ASSERT_TRUE(PngDecoder::Open(png.file.data(), png.file.size(), PngLimits(), &decoder).ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::int64_t row = std::int64_t{c.rect.width} * 4;
    const std::int64_t stride = std::max<std::int64_t>(row + c.stride_change, 0);
    const std::int64_t rows = std::max(c.rect.height, 1);
    const std::int64_t needed = std::max<std::int64_t>(stride * (rows - 1) + row, 0);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(needed + 16), 0xCD);
    const PngStatus status = decoder->CopyPixels(&c.rect, static_cast<std::uint32_t>(stride),
                                                 static_cast<std::uint32_t>(needed + c.size_change),
                                                 c.null_buffer ? nullptr : buffer.data());
    EXPECT_EQ(status.failure, c.expected) << Describe(status);
    EXPECT_EQ(status.stage, PngStage::kPixels);
    for (std::uint8_t byte : buffer) {
      ASSERT_EQ(byte, 0xCD) << "a refused copy wrote into the buffer";
    }
  }
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> file, std::size_t size) {
  file.resize(size);
  return file;
}

std::vector<std::uint8_t> Splice(const std::vector<std::uint8_t>& file,
                                 std::size_t at,
                                 const std::vector<std::uint8_t>& insert) {
  std::vector<std::uint8_t> result(file.begin(), file.begin() + static_cast<long>(at));
  result.insert(result.end(), insert.begin(), insert.end());
  result.insert(result.end(), file.begin() + static_cast<long>(at), file.end());
  return result;
}

std::vector<std::uint8_t> WithoutChunk(const std::vector<std::uint8_t>& file, const PngChunk& c) {
  std::vector<std::uint8_t> result(file.begin(), file.begin() + static_cast<long>(c.offset));
  result.insert(result.end(), file.begin() + static_cast<long>(c.end()), file.end());
  return result;
}

TEST(MediaPngDecoderTest, DamagedFilesFailAtTheStepWhereTheDamageIsRead) {
  PngSpec rgba_spec;
  rgba_spec.width = 32;
  rgba_spec.height = 24;
  const std::vector<std::uint8_t> rgba = MakeTestPng(rgba_spec).file;
  PngSpec indexed_spec = rgba_spec;
  indexed_spec.color_type = kIndexed;
  indexed_spec.bit_depth = 8;
  const std::vector<std::uint8_t> indexed = MakeTestPng(indexed_spec).file;
  const PngChunk ihdr = FindChunk(rgba, "IHDR");
  const PngChunk idat = FindChunk(rgba, "IDAT");
  const PngChunk plte = FindChunk(indexed, "PLTE");

  using Mutation = std::function<std::vector<std::uint8_t>()>;
  auto patch_header = [&](std::size_t field, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> file = rgba;
    std::copy(bytes.begin(), bytes.end(),
              file.begin() + static_cast<long>(ihdr.data_offset() + field));
    FixCrc(&file, ihdr);
    return file;
  };
  struct Case {
    const char* name;
    Mutation make;
    PngStage stage;
    PngFailure failure;
  };
  const std::vector<Case> cases = {
      {"nothing", [] { return std::vector<std::uint8_t>(); }, PngStage::kHeader,
       PngFailure::kNotPng},
      {"seven signature bytes", [&] { return Cut(rgba, 7); }, PngStage::kHeader,
       PngFailure::kNotPng},
      {"signature with a changed line ending",
       [&] {
         std::vector<std::uint8_t> file = rgba;
         file[4] = '\n';
         return file;
       },
       PngStage::kHeader, PngFailure::kNotPng},
      {"cut inside the header", [&] { return Cut(rgba, ihdr.data_offset() + 5); },
       PngStage::kHeader, PngFailure::kTruncated},
      {"header checksum wrong",
       [&] {
         std::vector<std::uint8_t> file = rgba;
         file[ihdr.end() - 1] ^= 0xFF;
         return file;
       },
       PngStage::kHeader, PngFailure::kBadHeader},
      {"width zero",
       [&] {
         return patch_header(0, {0, 0, 0, 0});
       },
       PngStage::kHeader, PngFailure::kBadHeader},
      {"bit depth 3", [&] { return patch_header(8, {3}); }, PngStage::kHeader,
       PngFailure::kBadHeader},
      {"colour type 5", [&] { return patch_header(9, {5}); }, PngStage::kHeader,
       PngFailure::kBadHeader},
      {"first chunk not the header",
       [&] {
         return Splice(rgba, ihdr.offset, MakeChunk("tEXt", {'a', 0, 'b'}));
       },
       PngStage::kHeader, PngFailure::kBadHeader},
      {"declared larger than the limit",
       [&] {
         return patch_header(0, {0, 1, 0, 0, 0, 1, 0, 0});
       },
       PngStage::kHeader, PngFailure::kTooLarge},
      {"cut before the image data", [&] { return Cut(rgba, idat.offset); }, PngStage::kFrame,
       PngFailure::kTruncated},
      {"palette checksum wrong",
       [&] {
         std::vector<std::uint8_t> file = indexed;
         file[plte.data_offset()] ^= 0x01;
         return file;
       },
       PngStage::kFrame, PngFailure::kBadChunk},
      {"indexed without palette", [&] { return WithoutChunk(indexed, plte); }, PngStage::kFrame,
       PngFailure::kBadChunk},
      {"unknown critical chunk",
       [&] {
         return Splice(rgba, idat.offset, MakeChunk("QUUX", {1, 2, 3}));
       },
       PngStage::kFrame, PngFailure::kBadChunk},
      {"cut inside the image data", [&] { return Cut(rgba, idat.data_offset() + idat.length / 2); },
       PngStage::kPixels, PngFailure::kTruncated},
      {"image data scrambled",
       [&] {
         std::vector<std::uint8_t> file = rgba;
         for (std::size_t i = idat.data_offset() + 2; i < idat.data_offset() + idat.length;
              i += 3) {
           file[i] = static_cast<std::uint8_t>(file[i] * 31 + 7);
         }
         FixCrc(&file, idat);
         return file;
       },
       PngStage::kPixels, PngFailure::kCorruptData},
      {"image data checksum wrong",
       [&] {
         std::vector<std::uint8_t> file = rgba;
         file[idat.end() - 2] ^= 0x10;
         return file;
       },
       PngStage::kPixels, PngFailure::kCorruptData},
      {"ends without its end chunk", [&] { return Cut(rgba, FindChunk(rgba, "IEND").offset); },
       PngStage::kPixels, PngFailure::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t> file = c.make();
    std::unique_ptr<PngDecoder> decoder;
    PngStatus status = PngDecoder::Open(file.data(), file.size(), PngLimits(), &decoder);
    if (c.stage != PngStage::kHeader) {
      ASSERT_TRUE(status.ok()) << Describe(status);
      status = decoder->OpenFrame();
    }
    if (c.stage == PngStage::kPixels) {
      ASSERT_TRUE(status.ok()) << Describe(status);
      std::vector<std::uint8_t> pixels(std::size_t{decoder->width()} * decoder->height() * 4);
      status = decoder->CopyPixels(nullptr, decoder->width() * 4,
                                   static_cast<std::uint32_t>(pixels.size()), pixels.data());
    }
    EXPECT_EQ(status.stage, c.stage) << Describe(status);
    EXPECT_EQ(status.failure, c.failure) << Describe(status);
    if (c.stage == PngStage::kHeader) {
      EXPECT_EQ(decoder, nullptr);
    }
  }
}

TEST(MediaPngDecoderTest, AnimatedPngGivesItsDefaultImage) {
  PngSpec png_spec;
  png_spec.width = 8;
  png_spec.height = 6;
  const TestPng first = MakeTestPng(png_spec);
  png_spec.color_type = kTruecolor;
  const std::vector<std::uint8_t> second = MakeTestPng(png_spec).file;
  const PngChunk idat = FindChunk(first.file, "IDAT");
  const PngChunk second_idat = FindChunk(second, "IDAT");

  auto be32 = [](std::uint32_t v) {
    return std::vector<std::uint8_t>{
        static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
        static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
  };
  auto frame_control = [&](std::uint32_t sequence) {
    std::vector<std::uint8_t> data = be32(sequence);
    for (std::uint32_t v : {png_spec.width, png_spec.height, 0u, 0u}) {
      const std::vector<std::uint8_t> field = be32(v);
      data.insert(data.end(), field.begin(), field.end());
    }
    data.insert(data.end(), {0, 1, 0, 10, 0, 0});  // delay 1/10 s, no dispose, no blend
    return MakeChunk("fcTL", data);
  };
  std::vector<std::uint8_t> animation_control = be32(2);
  const std::vector<std::uint8_t> plays = be32(0);
  animation_control.insert(animation_control.end(), plays.begin(), plays.end());

  std::vector<std::uint8_t> frame_data = be32(2);
  frame_data.insert(
      frame_data.end(), second.begin() + static_cast<long>(second_idat.data_offset()),
      second.begin() + static_cast<long>(second_idat.data_offset() + second_idat.length));
  std::vector<std::uint8_t> after_image = frame_control(1);
  const std::vector<std::uint8_t> frame_chunk = MakeChunk("fdAT", frame_data);
  after_image.insert(after_image.end(), frame_chunk.begin(), frame_chunk.end());

  std::vector<std::uint8_t> before_image = MakeChunk("acTL", animation_control);
  const std::vector<std::uint8_t> first_control = frame_control(0);
  before_image.insert(before_image.end(), first_control.begin(), first_control.end());

  std::vector<std::uint8_t> animated = Splice(first.file, idat.end(), after_image);
  animated = Splice(animated, idat.offset, before_image);
  EXPECT_EQ(FirstDifference(DecodeAll(animated), first.bgra, 0), -1);
}

TEST(MediaPngDecoderTest, LimitBoundsTheDecodedSize) {
  struct Case {
    std::uint32_t width;
    std::uint32_t height;
    std::uint64_t limit;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {5, 5, 100, true}, {6, 5, 100, false}, {5, 6, 100, false}, {1, 1, 4, true}, {1, 1, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " limit " +
                 std::to_string(c.limit));
    PngSpec png_spec;
    png_spec.width = c.width;
    png_spec.height = c.height;
    const TestPng png = MakeTestPng(png_spec);
    PngLimits limits;
    limits.max_decoded_bytes = c.limit;
    std::unique_ptr<PngDecoder> decoder;
    const PngStatus status = PngDecoder::Open(png.file.data(), png.file.size(), limits, &decoder);
    EXPECT_EQ(status.ok(), c.accepted) << Describe(status);
    if (!c.accepted) {
      EXPECT_EQ(status.failure, PngFailure::kTooLarge);
    }
  }
}

}  // namespace
}  // namespace halvex::media_testing
