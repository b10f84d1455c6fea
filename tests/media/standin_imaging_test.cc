// The imaging stand-in with its real PNG decoder, through the interfaces the product calls.
#include <combaseapi.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com_test_support.h"
#include "png_maker.h"
#include "windows_testing/imaging.h"

namespace halvex::media_testing {
namespace {

using halvex::test::Owned;

struct Decoded {
  std::string failed_call;  // empty when every step succeeded
  HRESULT result = S_OK;
  UINT width = 0;
  UINT height = 0;
  std::vector<BYTE> frame_pixels;      // copied from the frame
  std::vector<BYTE> converted_pixels;  // copied through a converter, as the product does
};

// The decoding steps the product takes, then a copy from the frame too; stops at a failure.
Decoded Decode(std::vector<BYTE> bytes) {
  Decoded decoded;
  auto step = [&](const char* call, HRESULT hr) {
    if (FAILED(hr) && decoded.failed_call.empty()) {
      decoded.failed_call = call;
      decoded.result = hr;
    }
    return SUCCEEDED(hr);
  };
  Owned<IWICImagingFactory> factory;
  Owned<IWICStream> stream;
  Owned<IWICBitmapDecoder> decoder;
  Owned<IWICBitmapFrameDecode> frame;
  Owned<IWICFormatConverter> converter;
  if (step("CoCreateInstance",
           CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IWICImagingFactory, factory.PutVoid())) &&
      step("CreateStream", factory->CreateStream(stream.Put())) &&
      step("InitializeFromMemory",
           stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))) &&
      step("CreateDecoderFromStream",
           factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                            decoder.Put())) &&
      step("GetFrame", decoder->GetFrame(0, frame.Put())) &&
      step("GetSize", frame->GetSize(&decoded.width, &decoded.height)) &&
      step("CreateFormatConverter", factory->CreateFormatConverter(converter.Put())) &&
      step("Initialize",
           converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                 nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
    const UINT stride = decoded.width * 4;
    decoded.frame_pixels.resize(std::size_t{stride} * decoded.height);
    decoded.converted_pixels.resize(decoded.frame_pixels.size());
    const auto size = static_cast<UINT>(decoded.frame_pixels.size());
    // Both copies are made, so that a failure shows at both.
    const HRESULT frame_copy =
        frame->CopyPixels(nullptr, stride, size, decoded.frame_pixels.data());
    const HRESULT converter_copy =
        converter->CopyPixels(nullptr, stride, size, decoded.converted_pixels.data());
    EXPECT_EQ(frame_copy, converter_copy);
    step("CopyPixels", converter_copy);
  }
  return decoded;
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
       "CreateDecoderFromStream",
       WINCODEC_ERR_COMPONENTNOTFOUND},
      {"header damaged", flipped(header.data_offset() + 3), "CreateDecoderFromStream",
       WINCODEC_ERR_BADHEADER},
      {"larger than any frame the stand-in decodes", huge(), "CreateDecoderFromStream",
       WINCODEC_ERR_IMAGESIZEOUTOFRANGE},
      {"palette damaged", flipped(FindChunk(png.file, "PLTE").data_offset()), "GetFrame",
       WINCODEC_ERR_BADIMAGE},
      {"cut before the image data", cut(data.offset), "GetFrame", WINCODEC_ERR_STREAMREAD},
      {"cut inside the image data", cut(data.data_offset() + data.length / 2), "CopyPixels",
       WINCODEC_ERR_STREAMREAD},
      {"image data scrambled", scrambled(), "CopyPixels", WINCODEC_ERR_BADSTREAMDATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded decoded = Decode(c.bytes);
    EXPECT_EQ(decoded.failed_call, c.failed_call);
    EXPECT_EQ(decoded.result, c.result);
    if (c.failed_call.empty()) {
      EXPECT_EQ(decoded.width, png_spec.width);
      EXPECT_EQ(decoded.height, png_spec.height);
      EXPECT_EQ(decoded.frame_pixels, png.bgra);
      EXPECT_EQ(decoded.converted_pixels, png.bgra);
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
  EXPECT_EQ(Decode(png.file).converted_pixels, scripted);

  halvex::testing::ResetImaging();
  const Decoded unscripted = Decode(png.file);
  EXPECT_EQ(unscripted.failed_call, "CreateDecoderFromStream");
  EXPECT_EQ(unscripted.result, WINCODEC_ERR_COMPONENTNOTFOUND);

  halvex::testing::DecodeRealImages();
  EXPECT_EQ(Decode(png.file).converted_pixels, png.bgra);
}

}  // namespace
}  // namespace halvex::media_testing
