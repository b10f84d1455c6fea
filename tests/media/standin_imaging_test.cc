// The imaging stand-in with its real PNG decoder, through the interfaces the product calls.
#include <combaseapi.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com_test_support.h"
#include "tests/windows/png_decoding.h"
#include "png_maker.h"
#include "windows_testing/imaging.h"

namespace halvex::media_testing {
namespace {

using halvex::testing::DecodedPng;

// The recorder's decoding steps, and a copy straight from the frame too.
DecodedPng Decode(const std::vector<BYTE>& bytes) {
  halvex::testing::FrameCalls frame_calls;
  frame_calls.get_size = true;
  frame_calls.copy_pixels = true;
  return halvex::testing::DecodePngToBgra(bytes, frame_calls);
}

class StandInImagingTest : public halvex::test::StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    halvex::testing::DecodeRealImages();
  }
};

TEST_F(StandInImagingTest, RealPngsDecodeAndDamageFailsAtTheCallThatReadsIt) {
  PngSpec png_spec;
  png_spec.width = 13;
  png_spec.height = 9;
  png_spec.color_type = kIndexed;
  png_spec.transparency = true;
  const TestPng png = MakeTestPng(png_spec);
  const PngChunk header = FindChunk(png.file, "IHDR");
  const PngChunk data = FindChunk(png.file, "IDAT");
  auto cut = [&](std::size_t size) {
    return std::vector<BYTE>(png.file.begin(), png.file.begin() + static_cast<long>(size));
  };
  auto flipped = [&](std::size_t at) {
    std::vector<BYTE> bytes = png.file;
    bytes[at] ^= 0x5A;
    return bytes;
  };
  auto huge = [&] {
    std::vector<BYTE> bytes = png.file;
    for (std::size_t i = 0; i < 8; ++i) {
      bytes[header.data_offset() + i] = i % 4 == 1 ? 1 : 0;  // 65536 × 65536
    }
    FixCrc(&bytes, header);
    return bytes;
  };
  auto scrambled = [&] {
    std::vector<BYTE> bytes = png.file;
    for (std::size_t i = data.data_offset() + 2; i < data.data_offset() + data.length; ++i) {
      bytes[i] = static_cast<BYTE>(bytes[i] * 13 + 1);
    }
    FixCrc(&bytes, data);
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<BYTE> bytes;
    std::string failed_call;
    HRESULT result;
  };
  const std::vector<Case> cases = {
      {"whole image", png.file, "", S_OK},
      {"not a PNG",
       {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0},
       "IWICImagingFactory::CreateDecoderFromStream",
       WINCODEC_ERR_COMPONENTNOTFOUND},
      {"header damaged", flipped(header.data_offset() + 3),
       "IWICImagingFactory::CreateDecoderFromStream", WINCODEC_ERR_BADHEADER},
      {"larger than any frame the stand-in decodes", huge(),
       "IWICImagingFactory::CreateDecoderFromStream", WINCODEC_ERR_IMAGESIZEOUTOFRANGE},
      {"palette damaged", flipped(FindChunk(png.file, "PLTE").data_offset()),
       "IWICBitmapDecoder::GetFrame", WINCODEC_ERR_BADIMAGE},
      {"cut before the image data", cut(data.offset), "IWICBitmapDecoder::GetFrame",
       WINCODEC_ERR_STREAMREAD},
      {"cut inside the image data", cut(data.data_offset() + data.length / 2),
       "IWICFormatConverter::CopyPixels", WINCODEC_ERR_STREAMREAD},
      {"image data scrambled", scrambled(), "IWICFormatConverter::CopyPixels",
       WINCODEC_ERR_BADSTREAMDATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedPng decoded = Decode(c.bytes);
    EXPECT_EQ(decoded.failed_call, c.failed_call);
    EXPECT_EQ(decoded.result, c.result);
    if (c.failed_call.empty() || c.failed_call == "IWICFormatConverter::CopyPixels") {
      // The frame's own copy meets what the converter's met.
      EXPECT_EQ(decoded.frame_copy_result, c.result);
    }
    if (c.failed_call.empty()) {
      EXPECT_EQ(decoded.width, png_spec.width);
      EXPECT_EQ(decoded.height, png_spec.height);
      EXPECT_EQ(decoded.frame_bgra, png.bgra);
      EXPECT_EQ(decoded.bgra, png.bgra);
    }
  }
}

TEST_F(StandInImagingTest, ScriptsComeFirstAndAResetLeavesOnlyThem) {
  PngSpec png_spec;
  png_spec.width = 4;
  png_spec.height = 2;
  const TestPng png = MakeTestPng(png_spec);
  const std::vector<BYTE> scripted(4 * 2 * 4, 0x11);
  ASSERT_TRUE(halvex::testing::ScriptImage(png.file, 4, 2, scripted));
  EXPECT_EQ(Decode(png.file).bgra, scripted);

  halvex::testing::ResetImaging();
  const DecodedPng unscripted = Decode(png.file);
  EXPECT_EQ(unscripted.failed_call, "IWICImagingFactory::CreateDecoderFromStream");
  EXPECT_EQ(unscripted.result, WINCODEC_ERR_COMPONENTNOTFOUND);

  halvex::testing::DecodeRealImages();
  EXPECT_EQ(Decode(png.file).bgra, png.bgra);
}

}  // namespace
}  // namespace halvex::media_testing
