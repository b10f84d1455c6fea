#include "recorder/scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "recorder/scale_paths.h"
#include "tests/recorder/guarded_bytes.h"

namespace halvex {
namespace {

// Each source pixel names itself: its 4 bytes are the column and the row as 16-bit values, so the
// test also sees that all four bytes, alpha included, are copied.
std::vector<uint8_t> LabelledImage(int width, int height, int rowBytes, uint8_t padding) {
  std::vector<uint8_t> image(static_cast<size_t>(rowBytes) * height, padding);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &image[static_cast<size_t>(y) * rowBytes + 4 * x];
      pixel[0] = static_cast<uint8_t>(x & 0xFF);
      pixel[1] = static_cast<uint8_t>(x >> 8);
      pixel[2] = static_cast<uint8_t>(y & 0xFF);
      pixel[3] = static_cast<uint8_t>(y >> 8);
    }
  }
  return image;
}

int ColumnAt(const std::vector<uint8_t>& out, size_t pixel) {
  return out[4 * pixel] | (out[4 * pixel + 1] << 8);
}

int RowAt(const std::vector<uint8_t>& out, size_t pixel) {
  return out[4 * pixel + 2] | (out[4 * pixel + 3] << 8);
}

struct ScaleCase {
  int sourceWidth, sourceHeight, width, height;
  std::vector<int> columns;  // source column of each destination column
  std::vector<int> rows;     // source row of each destination row
};

TEST(ScaleNearestTest, PicksTheNearestSourcePixelAtEveryPosition) {
  const ScaleCase cases[] = {
      {4, 3, 4, 3, {0, 1, 2, 3}, {0, 1, 2}},           // same size
      {2, 2, 5, 3, {0, 0, 0, 1, 1}, {0, 0, 1}},        // enlarging repeats
      {5, 7, 2, 3, {0, 2}, {0, 2, 4}},                 // reducing skips
      {1, 1, 3, 2, {0, 0, 0}, {0, 0}},                 // one pixel fills all
      {7, 2, 4, 4, {0, 1, 3, 5}, {0, 0, 1, 1}},        // mixed
      {3, 3, 8, 2, {0, 0, 0, 1, 1, 1, 2, 2}, {0, 1}},  // last column reached, not passed
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << c.sourceWidth << "x" << c.sourceHeight << " -> " << c.width << "x" << c.height);
    // Row padding filled with 0xCC: a pixel taken from it would show as column 0xCCCC.
    const int rowBytes = 4 * c.sourceWidth + 8;
    const std::vector<uint8_t> source =
        LabelledImage(c.sourceWidth, c.sourceHeight, rowBytes, 0xCC);
    std::vector<uint8_t> out(static_cast<size_t>(4 * c.width * c.height), 0);
    ScaleNearest(source.data(), rowBytes, c.sourceWidth, c.sourceHeight, out.data(), c.width,
                 c.height);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const size_t pixel = static_cast<size_t>(y * c.width + x);
        EXPECT_EQ(ColumnAt(out, pixel), c.columns[x]) << "at " << x << "," << y;
        EXPECT_EQ(RowAt(out, pixel), c.rows[y]) << "at " << x << "," << y;
      }
    }
  }
}

TEST(ScaleNearestTest, StretchesLargeFramesWithinTheSource) {
  // Exactly sized buffers: any access past the source or the destination is caught.
  const struct {
    int sourceWidth, sourceHeight, width, height;
    int lastColumn, lastRow;  // source pixel of the destination's bottom-right pixel
  } cases[] = {
      {1280, 720, 1920, 1080, 1279, 719},  // enlarged, aspect kept
      {1920, 1080, 640, 480, 1917, 1077},  // reduced, aspect changed
      {3, 1000, 1000, 3, 2, 666},          // stretched one way, squeezed the other
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sourceWidth << "x" << c.sourceHeight);
    const std::vector<uint8_t> source =
        LabelledImage(c.sourceWidth, c.sourceHeight, 4 * c.sourceWidth, 0);
    std::vector<uint8_t> out(static_cast<size_t>(4) * c.width * c.height, 0xFF);
    ScaleNearest(source.data(), 4 * c.sourceWidth, c.sourceWidth, c.sourceHeight, out.data(),
                 c.width, c.height);
    const size_t last = static_cast<size_t>(c.width) * c.height - 1;
    EXPECT_EQ(ColumnAt(out, last), c.lastColumn);
    EXPECT_EQ(RowAt(out, last), c.lastRow);
    EXPECT_EQ(ColumnAt(out, 0), 0);
    EXPECT_EQ(RowAt(out, 0), 0);
  }
}

TEST(ScaleNearestTest, IgnoresEmptySizes) {
  const std::vector<uint8_t> source = LabelledImage(2, 2, 8, 0);
  std::vector<uint8_t> out(16, 0x77);
  ScaleNearest(source.data(), 8, 0, 2, out.data(), 2, 2);
  ScaleNearest(source.data(), 8, 2, 2, out.data(), 2, -1);
  ScaleNearest(nullptr, 8, 2, 2, out.data(), 2, 2);
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0x77));
}

// Every scaling path, called by name, against the rule written out pixel by pixel.
void ReferenceScale(const uint8_t* source,
                    int rowBytes,
                    int sourceWidth,
                    int sourceHeight,
                    uint8_t* out,
                    int width,
                    int height) {
  for (int y = 0; y < height; ++y) {
    const int64_t row = std::min<int64_t>(int64_t{y} * sourceHeight / height, sourceHeight - 1);
    for (int x = 0; x < width; ++x) {
      const int64_t column = std::min<int64_t>(int64_t{x} * sourceWidth / width, sourceWidth - 1);
      std::memcpy(out + 4 * (int64_t{y} * width + x), source + row * rowBytes + 4 * column, 4);
    }
  }
}

const char* PathName(ScalePath path) {
  switch (path) {
    case ScalePath::kPortable:
      return "Portable";
    case ScalePath::kAvx512:
      return "Avx512";
  }
  return "Unknown";
}

}  // namespace

// Test names show the path by name rather than as bytes (found by argument-dependent lookup, so
// outside the unnamed namespace).
void PrintTo(ScalePath path, std::ostream* out) {
  *out << PathName(path);
}

namespace {

class ScalePathTest : public ::testing::TestWithParam<ScalePath> {
 protected:
  void SetUp() override {
    if (!ScalePathSupported(GetParam())) {
      GTEST_SKIP() << PathName(GetParam()) << " is not available on this processor or build";
    }
  }
};

// Odd sizes, widths on either side of the 16- and 32-pixel blocks, enlarging (one source pixel
// for many), reducing by less than a half (neighbouring windows) and by more (spread pixels), and
// the video sizes a recording meets.
const struct ScaleShape {
  int sourceWidth, sourceHeight, width, height;
} kScaleShapes[] = {{1, 1, 1, 1},
                    {1, 1, 17, 3},
                    {3, 5, 15, 4},
                    {15, 2, 16, 2},
                    {16, 3, 17, 5},
                    {31, 4, 32, 3},
                    {33, 7, 31, 2},
                    {47, 3, 33, 3},
                    {100, 9, 63, 5},
                    {64, 2, 31, 2},
                    {65, 3, 32, 2},
                    {97, 4, 17, 3},
                    {1000, 3, 33, 2},
                    {640, 3, 1367, 2},
                    {1919, 5, 1279, 3},
                    {1280, 720, 1920, 1080},
                    {1920, 1080, 1280, 720},
                    {1366, 768, 1280, 720},
                    {3840, 2160, 1280, 720}};

TEST_P(ScalePathTest, MatchesTheRuleOnRandomFrames) {
  std::mt19937 random(20240612);
  for (const ScaleShape& shape : kScaleShapes) {
    SCOPED_TRACE(::testing::Message() << shape.sourceWidth << "x" << shape.sourceHeight << " -> "
                                      << shape.width << "x" << shape.height);
    // Rows with padding and a misaligned start; the destination misaligned and pre-filled.
    const int rowBytes = 4 * shape.sourceWidth + 12;
    std::vector<uint8_t> source(static_cast<size_t>(rowBytes) * shape.sourceHeight + 3);
    for (uint8_t& byte : source) {
      byte = static_cast<uint8_t>(random());
    }
    const uint8_t* image = source.data() + 3;
    const size_t size = static_cast<size_t>(4) * shape.width * shape.height;
    std::vector<uint8_t> actual(size + 2, 0x5A);
    std::vector<uint8_t> expected(size, 0);
    ASSERT_TRUE(ScaleNearestOn(GetParam(), image, rowBytes, shape.sourceWidth, shape.sourceHeight,
                               actual.data() + 1, shape.width, shape.height));
    ReferenceScale(image, rowBytes, shape.sourceWidth, shape.sourceHeight, expected.data(),
                   shape.width, shape.height);
    EXPECT_EQ(std::vector<uint8_t>(actual.begin() + 1, actual.end() - 1), expected);
    EXPECT_EQ(actual.front(), 0x5A);
    EXPECT_EQ(actual.back(), 0x5A);
  }
}

TEST_P(ScalePathTest, ReadsAndWritesNothingPastTheBuffers) {
  std::mt19937 random(11);
  for (const ScaleShape& shape : kScaleShapes) {
    SCOPED_TRACE(::testing::Message() << shape.sourceWidth << "x" << shape.sourceHeight << " -> "
                                      << shape.width << "x" << shape.height);
    // Packed rows and an exactly sized destination: the last source pixel and the last
    // destination byte both touch a guard page.
    const size_t sourceSize = static_cast<size_t>(4) * shape.sourceWidth * shape.sourceHeight;
    const size_t size = static_cast<size_t>(4) * shape.width * shape.height;
    GuardedBytes source(sourceSize);
    GuardedBytes destination(size);
    ASSERT_TRUE(source.ready() && destination.ready());
    for (size_t i = 0; i < sourceSize; ++i) {
      source.data()[i] = static_cast<uint8_t>(random());
    }
    ASSERT_TRUE(ScaleNearestOn(GetParam(), source.data(), 4 * shape.sourceWidth, shape.sourceWidth,
                               shape.sourceHeight, destination.data(), shape.width, shape.height));
    std::vector<uint8_t> expected(size);
    ReferenceScale(source.data(), 4 * shape.sourceWidth, shape.sourceWidth, shape.sourceHeight,
                   expected.data(), shape.width, shape.height);
    EXPECT_EQ(destination.Contents(), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPaths,
                         ScalePathTest,
                         ::testing::Values(ScalePath::kPortable, ScalePath::kAvx512),
                         [](const ::testing::TestParamInfo<ScalePath>& param) {
                           return std::string(PathName(param.param));
                         });

TEST(ScaleDispatchTest, ScalingRunsOnTheFastestSupportedPath) {
  EXPECT_TRUE(ScalePathSupported(ScalePath::kPortable));
  EXPECT_EQ(FastestScalePath(),
            ScalePathSupported(ScalePath::kAvx512) ? ScalePath::kAvx512 : ScalePath::kPortable);
}

}  // namespace
}  // namespace halvex
