#include "recorder/nv12.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace halvex {
namespace {

struct Bgra {
  uint8_t blue, green, red, alpha;
};

std::vector<uint8_t> SolidImage(int width, int height, Bgra colour) {
  std::vector<uint8_t> image;
  for (int i = 0; i < width * height; ++i) {
    image.insert(image.end(), {colour.blue, colour.green, colour.red, colour.alpha});
  }
  return image;
}

// The conversion written the plain way: one pixel, one block at a time, counting the pixels of
// each block that lie inside the image.
std::vector<uint8_t> ReferenceNv12(const std::vector<uint8_t>& image,
                                   int rowBytes,
                                   int width,
                                   int height,
                                   int pitch,
                                   uint8_t fill) {
  std::vector<uint8_t> out(Nv12Size(pitch, height), fill);
  auto at = [&](int x, int y, int channel) { return int{image[y * rowBytes + 4 * x + channel]}; };
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int luma = 66 * at(x, y, 2) + 129 * at(x, y, 1) + 25 * at(x, y, 0) + 128;
      out[y * pitch + x] = static_cast<uint8_t>(luma / 256 + 16);
    }
  }
  for (int y = 0; y < height; y += 2) {
    for (int x = 0; x < width; x += 2) {
      int b = 0, g = 0, r = 0, n = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          if (x + dx < width && y + dy < height) {
            b += at(x + dx, y + dy, 0);
            g += at(x + dx, y + dy, 1);
            r += at(x + dx, y + dy, 2);
            ++n;
          }
        }
      }
      b /= n;
      g /= n;
      r /= n;
      const int u = 112 * b - 74 * g - 38 * r + 128;
      const int v = 112 * r - 94 * g - 18 * b + 128;
      // Floor division by 256, written without relying on the shift.
      auto floorDiv = [](int value) { return value >= 0 ? value / 256 : -((-value + 255) / 256); };
      uint8_t* pair = &out[height * pitch + (y / 2) * pitch + x];
      pair[0] = static_cast<uint8_t>(floorDiv(u) + 128);
      pair[1] = static_cast<uint8_t>(floorDiv(v) + 128);
    }
  }
  return out;
}

struct ColourCase {
  const char* name;
  Bgra colour;
  uint8_t y, u, v;
};

TEST(ConvertBgraToNv12Test, WorkedColours) {
  const ColourCase cases[] = {
      {"white", {255, 255, 255, 255}, 235, 128, 128},
      {"black", {0, 0, 0, 255}, 16, 128, 128},
      {"red", {0, 0, 255, 255}, 82, 90, 240},
      {"blue", {255, 0, 0, 255}, 41, 240, 110},
      {"green", {0, 255, 0, 255}, 144, 54, 34},
      {"transparent red", {0, 0, 255, 0}, 82, 90, 240},
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int width = 4, height = 2, pitch = 16;
    const std::vector<uint8_t> image = SolidImage(width, height, c.colour);
    std::vector<uint8_t> out(Nv12Size(pitch, height), 0);
    ConvertBgraToNv12(image.data(), 4 * width, width, height, pitch, out.data());
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < pitch; ++x) {
        EXPECT_EQ(out[y * pitch + x], x < width ? c.y : 0) << "luma " << x << "," << y;
      }
    }
    for (int x = 0; x < pitch; ++x) {
      const uint8_t expected = x >= width ? 0 : (x % 2 == 0 ? c.u : c.v);
      EXPECT_EQ(out[height * pitch + x], expected) << "chroma byte " << x;
    }
  }
}

TEST(ConvertBgraToNv12Test, AveragesTruncateAndEdgeBlocksUseOnlyInsidePixels) {
  // A 3 × 3 image: the right column and the bottom row form blocks of 2 and 1 pixels.
  // Blue values per pixel; green and red stay 0.
  const uint8_t blues[3][3] = {{0, 0, 200}, {0, 3, 100}, {50, 51, 77}};
  std::vector<uint8_t> image;
  for (const auto& row : blues) {
    for (uint8_t blue : row) {
      image.insert(image.end(), {blue, 0, 0, 255});
    }
  }
  const int pitch = 6;
  std::vector<uint8_t> out(Nv12Size(pitch, 3), 0xEE);
  ConvertBgraToNv12(image.data(), 12, 3, 3, pitch, out.data());
  auto u = [](int blue) { return static_cast<uint8_t>(((112 * blue + 128) >> 8) + 128); };
  // Block averages: (0+0+0+3)/4 = 0, (200+100)/2 = 150, (50+51)/2 = 50, 77 alone.
  EXPECT_EQ(out[3 * pitch + 0], u(0));
  EXPECT_EQ(out[3 * pitch + 2], u(150));
  EXPECT_EQ(out[4 * pitch + 0], u(50));
  EXPECT_EQ(out[4 * pitch + 2], u(77));
  // Bytes beyond the width (and, in chroma rows, beyond the last pair) are left as they were.
  EXPECT_EQ(out[0 * pitch + 3], 0xEE);
  EXPECT_EQ(out[3 * pitch + 4], 0xEE);
  EXPECT_EQ(out[4 * pitch + 5], 0xEE);
  EXPECT_EQ(out.size(), size_t{5 * pitch});
}

TEST(ConvertBgraToNv12Test, RefusesAPitchTooNarrowForTheChromaPairs) {
  // Width 3 needs 4 chroma bytes per row; a pitch of 3 would spill into the next row.
  const std::vector<uint8_t> image = SolidImage(3, 2, {255, 255, 255, 255});
  std::vector<uint8_t> out(Nv12Size(3, 2), 0x11);
  ConvertBgraToNv12(image.data(), 12, 3, 2, 3, out.data());
  EXPECT_EQ(out, std::vector<uint8_t>(Nv12Size(3, 2), 0x11));
}

TEST(ConvertBgraToNv12Test, MatchesPlainConversionOnRandomImages) {
  struct Size {
    int width, height, rowPadding, pitch;
  };
  const Size sizes[] = {
      {1, 1, 0, 2},    {2, 2, 0, 2},       {3, 5, 4, 16},  {17, 9, 12, 32},
      {16, 16, 0, 16}, {1366, 4, 0, 1376}, {33, 1, 8, 48}, {640, 7, 4, 640},
  };
  std::mt19937 random(1234);
  for (const Size& size : sizes) {
    SCOPED_TRACE(::testing::Message() << size.width << "x" << size.height);
    const int rowBytes = 4 * size.width + size.rowPadding;
    // Exactly sized heap buffers, so that a read or write past either end is caught.
    std::vector<uint8_t> image(static_cast<size_t>(rowBytes) * size.height);
    for (uint8_t& byte : image) {
      byte = static_cast<uint8_t>(random());
    }
    std::vector<uint8_t> out(Nv12Size(size.pitch, size.height), 0xAB);
    ConvertBgraToNv12(image.data(), rowBytes, size.width, size.height, size.pitch, out.data());
    EXPECT_EQ(out, ReferenceNv12(image, rowBytes, size.width, size.height, size.pitch, 0xAB));
  }
}

TEST(Nv12SizeTest, HoldsEveryChromaRow) {
  EXPECT_EQ(Nv12Size(640, 480), 460800u);
  EXPECT_EQ(Nv12Size(1376, 768), 1585152u);
  EXPECT_EQ(Nv12Size(16, 3), 16u * 5u);
  EXPECT_EQ(Nv12Size(0, 4), 0u);
}

}  // namespace
}  // namespace halvex
