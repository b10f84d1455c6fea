// Every conversion path, called by name, against a plain reference: random frames of many widths
// (each side of every vector block size), unaligned starts, and buffers that end just before an
// inaccessible page so that a read or write one byte too far faults.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "recorder/nv12.h"
#include "recorder/nv12_paths.h"
#include "recorder/processor_features.h"
#include "tests/recorder/guarded_bytes.h"

namespace halvex {
namespace {

// The formulas written out one pixel and one block at a time.
void ReferenceConvert(const uint8_t* image,
                      int rowBytes,
                      int width,
                      int height,
                      int pitch,
                      uint8_t* out) {
  auto at = [&](int x, int y, int channel) { return int{image[y * rowBytes + 4 * x + channel]}; };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int luma = 66 * at(x, y, 2) + 129 * at(x, y, 1) + 25 * at(x, y, 0) + 128;
      out[y * pitch + x] = static_cast<uint8_t>(luma / 256 + 16);
    }
  }
  auto floorDiv256 = [](int value) { return value >= 0 ? value / 256 : -((-value + 255) / 256); };
  for (int y = 0; y < height; y += 2) {
    for (int x = 0; x < width; x += 2) {
      int b = 0, g = 0, r = 0, n = 0;
      for (int dy = 0; dy < 2 && y + dy < height; ++dy) {
        for (int dx = 0; dx < 2 && x + dx < width; ++dx) {
          b += at(x + dx, y + dy, 0);
          g += at(x + dx, y + dy, 1);
          r += at(x + dx, y + dy, 2);
          ++n;
        }
      }
      b /= n;
      g /= n;
      r /= n;
      uint8_t* pair = &out[height * pitch + (y / 2) * pitch + x];
      pair[0] = static_cast<uint8_t>(floorDiv256(112 * b - 74 * g - 38 * r + 128) + 128);
      pair[1] = static_cast<uint8_t>(floorDiv256(112 * r - 94 * g - 18 * b + 128) + 128);
    }
  }
}

const char* PathName(Nv12Path path) {
  switch (path) {
    case Nv12Path::kPortable:
      return "Portable";
    case Nv12Path::kSse2:
      return "Sse2";
    case Nv12Path::kAvx2:
      return "Avx2";
    case Nv12Path::kAvx512:
      return "Avx512";
  }
  return "Unknown";
}

}  // namespace

// Test names show the path by name rather than as bytes (found by argument-dependent lookup, so
// outside the unnamed namespace).
void PrintTo(Nv12Path path, std::ostream* out) {
  *out << PathName(path);
}

namespace {

struct FrameShape {
  int width;
  int height;
  int rowPadding;   // bytes after each source row
  int pitchExtra;   // destination bytes after the chroma row's last pair
  int startOffset;  // bytes before the first source pixel, to misalign it
};

// Widths on either side of the 16- and 32-pixel blocks and their overlapping last block, odd and
// even, with odd heights whose last chroma row has one image row.
const FrameShape kShapes[] = {
    {1, 1, 0, 0, 0},    {2, 2, 0, 0, 1},    {3, 3, 4, 1, 2},     {15, 2, 0, 0, 3},
    {16, 2, 0, 0, 0},   {17, 3, 8, 3, 1},   {18, 4, 0, 0, 2},    {31, 5, 4, 0, 3},
    {32, 2, 0, 0, 0},   {33, 2, 0, 2, 1},   {34, 6, 12, 0, 0},   {35, 3, 0, 1, 2},
    {47, 4, 0, 0, 3},   {48, 2, 4, 0, 0},   {63, 7, 0, 5, 1},    {64, 4, 0, 0, 0},
    {65, 2, 8, 0, 2},   {66, 3, 0, 0, 3},   {100, 74, 0, 12, 0}, {1366, 4, 0, 10, 1},
    {1280, 6, 0, 0, 0}, {1920, 4, 16, 0, 2}};

class Nv12PathTest : public ::testing::TestWithParam<Nv12Path> {
 protected:
  void SetUp() override {
    if (!Nv12PathSupported(GetParam())) {
      GTEST_SKIP() << PathName(GetParam()) << " is not available on this processor or build";
    }
  }
};

TEST_P(Nv12PathTest, MatchesTheReferenceOnRandomFrames) {
  std::mt19937 random(20240611);
  for (const FrameShape& shape : kShapes) {
    SCOPED_TRACE(::testing::Message()
                 << shape.width << "x" << shape.height << " offset " << shape.startOffset);
    const int rowBytes = 4 * shape.width + shape.rowPadding;
    const int pitch = shape.width + (shape.width & 1) + shape.pitchExtra;
    std::vector<uint8_t> source(static_cast<size_t>(shape.startOffset) +
                                static_cast<size_t>(rowBytes) * shape.height);
    for (uint8_t& byte : source) {
      byte = static_cast<uint8_t>(random());
    }
    const uint8_t* image = source.data() + shape.startOffset;
    const size_t size = Nv12Size(pitch, shape.height);
    // The destination starts misaligned too, and is filled so that stray writes show.
    std::vector<uint8_t> actual(size + 1, 0x5A);
    std::vector<uint8_t> expected(size, 0x5A);
    ASSERT_TRUE(ConvertBgraToNv12On(GetParam(), image, rowBytes, shape.width, shape.height, pitch,
                                    actual.data() + 1));
    ReferenceConvert(image, rowBytes, shape.width, shape.height, pitch, expected.data());
    EXPECT_EQ(std::vector<uint8_t>(actual.begin() + 1, actual.end()), expected);
    EXPECT_EQ(actual[0], 0x5A);
  }
}

TEST_P(Nv12PathTest, ReadsAndWritesNothingPastTheBuffers) {
  std::mt19937 random(7);
  for (const FrameShape& shape : kShapes) {
    SCOPED_TRACE(::testing::Message() << shape.width << "x" << shape.height);
    // Rows packed without padding, the destination exactly its size: the last source pixel and
    // the last chroma byte both touch the guard page.
    const int rowBytes = 4 * shape.width;
    const int pitch = shape.width + (shape.width & 1);
    GuardedBytes source(static_cast<size_t>(rowBytes) * shape.height);
    GuardedBytes destination(Nv12Size(pitch, shape.height));
    ASSERT_TRUE(source.ready() && destination.ready());
    std::vector<uint8_t> image(static_cast<size_t>(rowBytes) * shape.height);
    for (uint8_t& byte : image) {
      byte = static_cast<uint8_t>(random());
    }
    std::memcpy(source.data(), image.data(), image.size());
    std::memset(destination.data(), 0, Nv12Size(pitch, shape.height));
    ASSERT_TRUE(ConvertBgraToNv12On(GetParam(), source.data(), rowBytes, shape.width, shape.height,
                                    pitch, destination.data()));
    std::vector<uint8_t> expected(Nv12Size(pitch, shape.height), 0);
    ReferenceConvert(image.data(), rowBytes, shape.width, shape.height, pitch, expected.data());
    EXPECT_EQ(destination.Contents(), expected);
  }
}

TEST_P(Nv12PathTest, ExtremeColoursStayExact) {
  // Saturated and mixed extremes in every 2 × 2 arrangement reach the ends of each intermediate
  // range, where a 16-bit lane would overflow or a rounding step would differ.
  const uint8_t levels[] = {0, 1, 127, 128, 254, 255};
  std::vector<uint8_t> image;
  for (uint8_t b : levels) {
    for (uint8_t g : levels) {
      for (uint8_t r : levels) {
        image.insert(image.end(), {b, g, r, static_cast<uint8_t>(b ^ r)});
      }
    }
  }
  // 216 pixels as 36 × 6; then the same bytes as 72 × 3, so blocks pair different colours.
  for (const int width : {36, 72}) {
    const int height = static_cast<int>(image.size() / 4) / width;
    std::vector<uint8_t> actual(Nv12Size(width, height), 0);
    std::vector<uint8_t> expected(Nv12Size(width, height), 0);
    ASSERT_TRUE(ConvertBgraToNv12On(GetParam(), image.data(), 4 * width, width, height, width,
                                    actual.data()));
    ReferenceConvert(image.data(), 4 * width, width, height, width, expected.data());
    EXPECT_EQ(actual, expected) << width;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllPaths,
    Nv12PathTest,
    ::testing::Values(Nv12Path::kPortable, Nv12Path::kSse2, Nv12Path::kAvx2, Nv12Path::kAvx512),
    [](const ::testing::TestParamInfo<Nv12Path>& param) {
      return std::string(PathName(param.param));
    });

TEST(Nv12DispatchTest, TheConversionRunsOnTheFastestSupportedPath) {
  EXPECT_TRUE(Nv12PathSupported(Nv12Path::kPortable));
  EXPECT_TRUE(Nv12PathSupported(FastestNv12Path()));
#if defined(__x86_64__) || defined(_M_X64)
  EXPECT_TRUE(Nv12PathSupported(Nv12Path::kSse2));
  EXPECT_NE(FastestNv12Path(), Nv12Path::kPortable);
#endif
  if (Nv12PathSupported(Nv12Path::kAvx512)) {
    EXPECT_EQ(FastestNv12Path(), Nv12Path::kAvx512);
  } else if (Nv12PathSupported(Nv12Path::kAvx2)) {
    EXPECT_EQ(FastestNv12Path(), Nv12Path::kAvx2);
  }
  EXPECT_EQ(Nv12PathSupported(Nv12Path::kAvx512), RunsAvx512(ThisProcessor()));
}

// A wider path needs the processor's instructions and the operating system's saving of their
// registers: a processor with AVX-512 under a system that saves only the 256-bit state must not
// run it.
TEST(ProcessorFeaturesTest, NeedsTheInstructionsAndTheSavedRegisterState) {
  constexpr uint32_t kOsSaves = 1u << 27, kAvx = 1u << 28;
  constexpr uint32_t kAvx2 = 1u << 5, kFoundation = 1u << 16, kBytes = 1u << 30;
  constexpr uint64_t kYmmState = 0x7, kZmmState = 0xE7;
  const struct {
    const char* name;
    ProcessorReport report;
    bool avx2;
    bool avx512;
  } cases[] = {
      {"everything", {13, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, kZmmState}, true, true},
      {"no AVX-512 bytes", {13, kOsSaves | kAvx, kAvx2 | kFoundation, kZmmState}, true, false},
      {"only 256-bit state saved",
       {13, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, kYmmState},
       true,
       false},
      {"no opmask state", {13, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, 0xC7}, true, false},
      {"no upper zmm state",
       {13, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, 0xA7},
       true,
       false},
      {"no zmm16-31 state", {13, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, 0x67}, true, false},
      {"system saves nothing", {13, kAvx, kAvx2 | kFoundation | kBytes, kZmmState}, false, false},
      {"AVX without AVX2", {13, kOsSaves | kAvx, 0, kYmmState}, false, false},
      {"no leaf 7", {6, kOsSaves | kAvx, kAvx2 | kFoundation | kBytes, kZmmState}, false, false},
      {"nothing", {}, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunsAvx2(c.report), c.avx2) << c.name;
    EXPECT_EQ(RunsAvx512(c.report), c.avx512) << c.name;
  }
}

}  // namespace
}  // namespace halvex
