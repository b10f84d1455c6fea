// The demo application's PNG encoder on Windows, where the Imaging Component encodes: its files
// decode back, through the same component, to exactly the image's pixels.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/image.h"
#include "app/png_encoder.h"
#include "tests/windows/png_decoding.h"

namespace halvex::testing {
namespace {

using demo::Image;
using demo::Rgb;

Image Pattern(int width, int height) {
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.Set(x, y,
                Rgb{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 13 + x * 3),
                    static_cast<uint8_t>((x ^ y) * 5)});
    }
  }
  return image;
}

class AppPngEncoderOnWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
};

TEST_F(AppPngEncoderOnWindowsTest, EveryPixelAndRowDecodesBack) {
  const struct {
    const char* name;
    int width, height;
  } cases[] = {{"one pixel", 1, 1}, {"odd sides", 3, 5}, {"wide", 257, 2},
               {"tall", 2, 300},    {"frame", 64, 48},   {"row not a multiple of 4", 5, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Image image = Pattern(c.width, c.height);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(demo::EncodePng(image, &png, &error)) << error;
    EXPECT_TRUE(demo::HasPngSignature(png.data(), png.size()));
    const DecodedPng decoded = DecodePngToBgra(png);
    ASSERT_EQ(decoded.failure, "");
    ASSERT_EQ(decoded.width, static_cast<uint32_t>(c.width));
    ASSERT_EQ(decoded.height, static_cast<uint32_t>(c.height));
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const size_t at =
            (static_cast<size_t>(y) * static_cast<size_t>(c.width) + static_cast<size_t>(x)) * 4;
        const Rgb expected = image.At(x, y);
        ASSERT_EQ((std::vector<uint8_t>{decoded.bgra[at], decoded.bgra[at + 1],
                                        decoded.bgra[at + 2], decoded.bgra[at + 3]}),
                  (std::vector<uint8_t>{expected.blue, expected.green, expected.red, 255}))
            << "pixel " << x << ", " << y;
      }
    }
  }
}

TEST_F(AppPngEncoderOnWindowsTest, EmptyImageIsRefusedWithAReason) {
  for (const Image& image : {Image(), Image(0, 5), Image(5, 0)}) {
    std::vector<uint8_t> png = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(demo::EncodePng(image, &png, &error));
    EXPECT_TRUE(png.empty());
    EXPECT_EQ(error, "PNG encoding failed: the image has no pixels");
  }
}

}  // namespace
}  // namespace halvex::testing
