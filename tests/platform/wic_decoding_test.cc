// The imaging stand-in: scripted images through the product's decoding steps, the failure of any
// chosen step, and what the objects it hands out keep alive.
#include <gtest/gtest.h>

#include <combaseapi.h>
#include <wincodec.h>

#include <string>
#include <vector>

#include "com_test_support.h"
#include "tests/windows/png_decoding.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;
using halvex::testing::DecodedPng;
using halvex::testing::DecodePngToBgra;

// A 4 x 3 image whose pixel (x, y) is {x, y, x + y, 0x40 | x}.
std::vector<BYTE> Pixels(UINT width, UINT height) {
  std::vector<BYTE> bgra;
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      bgra.insert(bgra.end(), {static_cast<BYTE>(x), static_cast<BYTE>(y), static_cast<BYTE>(x + y),
                               static_cast<BYTE>(0x40 | x)});
    }
  }
  return bgra;
}

// The recorder's decoding steps, with the frame's size asked for too: every call a script can fail.
DecodedPng DecodeLikeTheProduct(const std::vector<BYTE>& bytes) {
  halvex::testing::FrameCalls frame_calls;
  frame_calls.get_size = true;
  return DecodePngToBgra(bytes, frame_calls);
}

TEST_F(StandInTest, ScriptedBytesDecodeToTheirImageAndTheArgumentsAreRecorded) {
  const std::vector<BYTE> bytes = halvex::testing::PngLikeBytes(1);
  ASSERT_TRUE(halvex::testing::ScriptImage(bytes, 4, 3, Pixels(4, 3)));
  const DecodedPng outcome = DecodeLikeTheProduct(bytes);
  EXPECT_EQ(outcome.failed_call, "");
  EXPECT_EQ(outcome.width, 4u);
  EXPECT_EQ(outcome.height, 3u);
  EXPECT_EQ(outcome.bgra, Pixels(4, 3));

  const halvex::testing::ImagingCalls calls = halvex::testing::RecordedImagingCalls();
  EXPECT_EQ(calls.stream_sizes, std::vector<DWORD>{12});
  ASSERT_EQ(calls.decoders.size(), 1u);
  EXPECT_EQ(calls.decoders[0].stream_bytes, 12u);
  EXPECT_FALSE(calls.decoders[0].vendor_given);
  EXPECT_EQ(calls.decoders[0].options, WICDecodeMetadataCacheOnLoad);
  EXPECT_EQ(calls.frame_indices, std::vector<UINT>{0});
  ASSERT_EQ(calls.converter_initializations.size(), 1u);
  EXPECT_EQ(calls.converter_initializations[0].format, GUID_WICPixelFormat32bppBGRA);
  EXPECT_EQ(calls.converter_initializations[0].dither, WICBitmapDitherTypeNone);
  EXPECT_FALSE(calls.converter_initializations[0].palette_given);
  EXPECT_EQ(calls.converter_initializations[0].palette_translate, WICBitmapPaletteTypeCustom);
  ASSERT_EQ(calls.copies.size(), 1u);
  EXPECT_EQ(calls.copies[0].object, "IWICFormatConverter");
  EXPECT_FALSE(calls.copies[0].rect.has_value());
  EXPECT_EQ(calls.copies[0].stride, 16u);
}

TEST_F(StandInTest, UnscriptedBytesHaveNoDecoder) {
  ASSERT_TRUE(halvex::testing::ScriptImage(halvex::testing::PngLikeBytes(1), 1, 1, {1, 2, 3, 4}));
  const DecodedPng outcome = DecodeLikeTheProduct(halvex::testing::PngLikeBytes(2));
  EXPECT_EQ(outcome.failed_call, "IWICImagingFactory::CreateDecoderFromStream");
  EXPECT_EQ(outcome.result, WINCODEC_ERR_COMPONENTNOTFOUND);
  EXPECT_EQ(halvex::testing::RecordedImagingCalls().decoders.at(0).result,
            WINCODEC_ERR_COMPONENTNOTFOUND);
}

class ScriptedFailure : public StandInTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScriptedFailure, StopsDecodingAtTheChosenCall) {
  const std::vector<BYTE> bytes = halvex::testing::PngLikeBytes(7);
  constexpr HRESULT kFailure = WINCODEC_ERR_BADIMAGE;
  ASSERT_TRUE(halvex::testing::ScriptImageFailure(bytes, GetParam(), kFailure, 6, 4));
  const DecodedPng outcome = DecodeLikeTheProduct(bytes);
  EXPECT_EQ(outcome.failed_call, GetParam());
  EXPECT_EQ(outcome.result, kFailure);
}

INSTANTIATE_TEST_SUITE_P(Imaging,
                         ScriptedFailure,
                         ::testing::Values("IWICImagingFactory::CreateDecoderFromStream",
                                           "IWICBitmapDecoder::GetFrame",
                                           "IWICBitmapFrameDecode::GetSize",
                                           "IWICFormatConverter::Initialize",
                                           "IWICFormatConverter::GetSize",
                                           "IWICFormatConverter::CopyPixels"));

TEST_F(StandInTest, FailureScriptsAreCheckedAndNeverAllocateTheirDeclaredSize) {
  const std::vector<BYTE> bytes = halvex::testing::PngLikeBytes(3);
  EXPECT_FALSE(halvex::testing::ScriptImageFailure(bytes, "IWICStream::Read", E_FAIL));
  EXPECT_FALSE(halvex::testing::ScriptImageFailure(bytes, "IWICBitmapDecoder::GetFrame", S_OK));
  EXPECT_FALSE(halvex::testing::ScriptImage(bytes, 2, 2, std::vector<BYTE>(15)));
  EXPECT_FALSE(halvex::testing::ScriptImage(bytes, 0x40000000, 4, std::vector<BYTE>(16)));
  EXPECT_FALSE(halvex::testing::ScriptImage(bytes, 0, 0, {}));

  // A 100000 x 100000 image that fails only at the end: its pixels are never materialised.
  ASSERT_TRUE(halvex::testing::ScriptImageFailure(bytes, "IWICFormatConverter::CopyPixels", E_FAIL,
                                                  100000, 100000));
  struct CornerCopy {
    UINT width = 0;
    UINT height = 0;
    HRESULT result = S_OK;
    std::vector<BYTE> pixels;
  };
  const CornerCopy outcome = [&] {
    Owned<IWICImagingFactory> factory;
    Owned<IWICStream> stream;
    Owned<IWICBitmapDecoder> decoder;
    Owned<IWICBitmapFrameDecode> frame;
    std::vector<BYTE> copy = bytes;
    EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IWICImagingFactory, factory.PutVoid()),
              S_OK);
    factory->CreateStream(stream.Put());
    stream->InitializeFromMemory(copy.data(), static_cast<DWORD>(copy.size()));
    EXPECT_EQ(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                               WICDecodeMetadataCacheOnDemand, decoder.Put()),
              S_OK);
    EXPECT_EQ(decoder->GetFrame(0, frame.Put()), S_OK);
    CornerCopy result;
    EXPECT_EQ(frame->GetSize(&result.width, &result.height), S_OK);
    const WICRect corner = {99998, 99999, 2, 1};
    result.pixels.resize(8);
    result.result = frame->CopyPixels(&corner, 8, 8, result.pixels.data());
    return result;
  }();
  EXPECT_EQ(outcome.width, 100000u);
  EXPECT_EQ(outcome.result, S_OK);
  EXPECT_EQ(outcome.pixels, (std::vector<BYTE>{0x80, 0x80, 0x80, 0xFF, 0x80, 0x80, 0x80, 0xFF}));
}

TEST_F(StandInTest, ConverterKeepsItsFrameAlive) {
  std::vector<BYTE> bytes = halvex::testing::PngLikeBytes(9);
  ASSERT_TRUE(halvex::testing::ScriptImage(bytes, 2, 2, Pixels(2, 2)));
  Owned<IWICImagingFactory> factory;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, factory.PutVoid()),
            S_OK);
  Owned<IWICStream> stream;
  ASSERT_EQ(factory->CreateStream(stream.Put()), S_OK);
  ASSERT_EQ(stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size())), S_OK);
  Owned<IWICBitmapDecoder> decoder;
  ASSERT_EQ(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                             decoder.Put()),
            S_OK);
  Owned<IWICBitmapFrameDecode> frame;
  ASSERT_EQ(decoder->GetFrame(0, frame.Put()), S_OK);
  Owned<IWICFormatConverter> converter;
  ASSERT_EQ(factory->CreateFormatConverter(converter.Put()), S_OK);
  ASSERT_EQ(
      converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                            nullptr, 0.0, WICBitmapPaletteTypeCustom),
      S_OK);

  frame.Reset();

  EXPECT_EQ(halvex::testing::LiveObjects("IWICBitmapFrameDecode"), 1);
  converter.Reset();
  EXPECT_EQ(halvex::testing::LiveObjects("IWICBitmapFrameDecode"), 0);
}

}  // namespace
