#include "recorder/scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

}  // namespace
}  // namespace halvex
