#include "app/png_encoder.h"

#include <gtest/gtest.h>

#include "app/scene.h"
#include "tests/end_to_end/png_decode.h"

namespace halvex {
namespace demo {
namespace {

using testing::DecodedPng;
using testing::DecodePng;

// Every pixel different from its neighbours, so that a swapped channel, a row out of place or a
// stride error shows.
Image Pattern(int width, int height) {
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.Set(x, y,
                Rgb{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 13 + 5),
                    static_cast<uint8_t>((x ^ y) * 3)});
    }
  }
  return image;
}

TEST(PngEncoderTest, RoundTripKeepsEveryPixel) {
  struct Case {
    const char* name;
    Image image;
  };
  const Case cases[] = {
      {"one pixel", Pattern(1, 1)},     {"odd sides", Pattern(3, 5)},
      {"wide", Pattern(257, 2)},        {"tall", Pattern(2, 300)},
      {"small frame", Pattern(64, 48)}, {"scene", DrawTestScene(160, 90, 17, 30)},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(EncodePng(test.image, &png, &error)) << error;
    EXPECT_TRUE(HasPngSignature(png.data(), png.size()));
    const DecodedPng decoded = DecodePng(png);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, static_cast<uint32_t>(test.image.width()));
    EXPECT_EQ(decoded.height, static_cast<uint32_t>(test.image.height()));
    EXPECT_EQ(decoded.bit_depth, 8);
    EXPECT_EQ(decoded.rgb, test.image.pixels());
  }
}

TEST(PngEncoderTest, ChannelsAndRowsLandWhereTheDecoderExpectsThem) {
  Image image(2, 2);
  image.Set(0, 0, Rgb{255, 0, 0});
  image.Set(1, 0, Rgb{0, 0, 255});
  image.Set(0, 1, Rgb{0, 255, 0});
  image.Set(1, 1, Rgb{10, 20, 30});
  std::vector<uint8_t> png;
  std::string error;
  ASSERT_TRUE(EncodePng(image, &png, &error)) << error;
  const DecodedPng decoded = DecodePng(png);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.rgb, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255, 0, 255, 0, 10, 20, 30}));
}

TEST(PngEncoderTest, EmptyImageIsRefusedWithAReason) {
  for (const Image& image : {Image(), Image(0, 5), Image(5, 0), Image(-3, 4)}) {
    std::vector<uint8_t> png = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(EncodePng(image, &png, &error));
    EXPECT_TRUE(png.empty());
    EXPECT_EQ(error, "PNG encoding failed: the image has no pixels");
  }
}

TEST(PngEncoderTest, SignatureCheckNeedsAllEightBytes) {
  const uint8_t good[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0};
  const uint8_t last_byte_wrong[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\r'};
  EXPECT_TRUE(HasPngSignature(good, sizeof(good)));
  EXPECT_TRUE(HasPngSignature(good, 8));
  EXPECT_FALSE(HasPngSignature(good, 7));
  EXPECT_FALSE(HasPngSignature(last_byte_wrong, sizeof(last_byte_wrong)));
  EXPECT_FALSE(HasPngSignature(nullptr, 8));
}

}  // namespace
}  // namespace demo
}  // namespace halvex
