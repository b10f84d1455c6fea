// The Imaging Component's CopyPixels rectangle and stride rules and the order its objects accept
// calls in, for a decoded PNG frame and a converter to 32-bit BGRA alike.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <vector>

#include "tests/windows/png_fixtures.h"
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

// A 4 x 3 straight RGBA image, which every decoder hands out as 32-bit BGRA.
const PngFixture kImage{"rgba8_4x3", 4, 3, PngColour::kRgba, 8, false, 0, false};

template <typename T>
class Held {
 public:
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() { Reset(); }
  T** Put() {
    Reset();
    return &object_;
  }
  void Reset() {
    if (object_ != nullptr) {
      object_->Release();
      object_ = nullptr;
    }
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

class SystemImaging : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IWICImagingFactory, reinterpret_cast<void**>(factory_.Put())),
              S_OK);
  }
  void TearDown() override {
    factory_.Reset();
    CoUninitialize();
  }

  // Decodes kImage up to its first frame.
  void OpenFrame(IWICStream** stream, IWICBitmapDecoder** decoder, IWICBitmapFrameDecode** frame) {
    ASSERT_EQ(factory_->CreateStream(stream), S_OK);
    ASSERT_EQ((*stream)->InitializeFromMemory(png_.data(), static_cast<DWORD>(png_.size())), S_OK);
    ASSERT_EQ(
        factory_->CreateDecoderFromStream(*stream, nullptr, WICDecodeMetadataCacheOnLoad, decoder),
        S_OK);
    ASSERT_EQ((*decoder)->GetFrame(0, frame), S_OK);
  }

  Held<IWICImagingFactory> factory_;
  std::vector<BYTE> png_ = EncodeFixture(kImage);
};

std::vector<BYTE> PixelRows(const std::vector<BYTE>& image, WICRect rect, UINT stride) {
  std::vector<BYTE> rows;
  for (int y = rect.Y; y < rect.Y + rect.Height; ++y) {
    const auto start = image.begin() + (y * kImage.width + rect.X) * 4;
    rows.insert(rows.end(), start, start + rect.Width * 4);
    if (y + 1 < rect.Y + rect.Height) {
      rows.insert(rows.end(), stride - rect.Width * 4, 0xEE);
    }
  }
  return rows;
}

struct CopyCase {
  const char* name;
  bool whole_image;
  WICRect rect;
  UINT stride;
  UINT buffer_size;
  HRESULT expected;
};

TEST_F(SystemImaging, CopyPixelsRulesAreTheSameForFrameAndConverter) {
  const CopyCase cases[] = {
      {"whole image", true, {0, 0, 4, 3}, 16, 48, S_OK},
      {"inner rectangle with padded stride", false, {1, 1, 2, 2}, 12, 20, S_OK},
      {"last row needs no padding", false, {2, 2, 2, 1}, 100, 8, S_OK},
      {"empty rectangle copies nothing", false, {4, 3, 0, 0}, 0, 0, S_OK},
      {"rectangle past the right edge", false, {3, 0, 2, 1}, 8, 8, E_INVALIDARG},
      {"rectangle past the bottom", false, {0, 2, 1, 2}, 4, 8, E_INVALIDARG},
      {"negative origin", false, {-1, 0, 1, 1}, 4, 4, E_INVALIDARG},
      {"negative size", false, {0, 0, -1, 1}, 4, 4, E_INVALIDARG},
      {"size that would wrap", false, {1, 0, INT_MAX, 1}, 4, 4, E_INVALIDARG},
      {"stride shorter than a row", true, {0, 0, 4, 3}, 15, 1000, WINCODEC_ERR_INSUFFICIENTBUFFER},
      {"buffer one byte short", true, {0, 0, 4, 3}, 16, 47, WINCODEC_ERR_INSUFFICIENTBUFFER},
      {"huge stride does not wrap",
       true,
       {0, 0, 4, 3},
       0x80000000u,
       0xFFFFFFFFu,
       WINCODEC_ERR_INSUFFICIENTBUFFER},
  };
  const std::vector<BYTE> image = ExpectedBgra(kImage);
  Held<IWICStream> stream;
  Held<IWICBitmapDecoder> decoder;
  Held<IWICBitmapFrameDecode> frame;
  OpenFrame(stream.Put(), decoder.Put(), frame.Put());
  Held<IWICFormatConverter> converter;
  ASSERT_EQ(factory_->CreateFormatConverter(converter.Put()), S_OK);
  ASSERT_EQ(
      converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                            nullptr, 0.0, WICBitmapPaletteTypeCustom),
      S_OK);
  for (const CopyCase& test : cases) {
    SCOPED_TRACE(test.name);
    // Wine answers a short buffer or stride with E_INVALIDARG, a missing buffer with E_POINTER,
    // and computes the size of a huge stride with a wrap, writing far past the buffer.
    HRESULT expected = test.expected;
    HRESULT expected_without_buffer = E_INVALIDARG;
    if (RunsUnderWine()) {
      if (test.stride >= 0x80000000u) {
        continue;
      }
      if (expected == WINCODEC_ERR_INSUFFICIENTBUFFER) {
        expected = E_INVALIDARG;
      }
      expected_without_buffer = E_POINTER;
    }
    const WICRect* rect = test.whole_image ? nullptr : &test.rect;
    for (IWICBitmapSource* source : {static_cast<IWICBitmapSource*>(frame.get()),
                                     static_cast<IWICBitmapSource*>(converter.get())}) {
      // A refused copy must write nothing, so its buffer need not be as large as it claims; one
      // guard byte past the end catches a write beyond it.
      const std::size_t allocated =
          SUCCEEDED(test.expected) ? test.buffer_size : std::min<std::size_t>(test.buffer_size, 64);
      std::vector<BYTE> buffer(allocated + 1, 0xEE);
      EXPECT_EQ(source->CopyPixels(rect, test.stride, test.buffer_size, buffer.data()), expected);
      EXPECT_EQ(buffer.back(), 0xEE);
      if (SUCCEEDED(test.expected)) {
        buffer.pop_back();
        EXPECT_EQ(buffer, PixelRows(image, test.rect, test.stride));
      }
    }
    EXPECT_EQ(converter->CopyPixels(rect, test.stride, test.buffer_size, nullptr),
              expected_without_buffer);
  }
}

TEST_F(SystemImaging, ObjectsRefuseCallsOutOfOrder) {
  Held<IWICStream> stream;
  ASSERT_EQ(factory_->CreateStream(stream.Put()), S_OK);
  Held<IWICBitmapDecoder> decoder;
  // Wine reads the empty stream and finds no decoder for it.
  EXPECT_EQ(factory_->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()),
            RunsUnderWine() ? WINCODEC_ERR_COMPONENTNOTFOUND : WINCODEC_ERR_NOTINITIALIZED);
  ASSERT_EQ(stream->InitializeFromMemory(png_.data(), static_cast<DWORD>(png_.size())), S_OK);
  EXPECT_EQ(stream->InitializeFromMemory(png_.data(), 4), WINCODEC_ERR_WRONGSTATE);
  ASSERT_EQ(factory_->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()),
            S_OK);
  Held<IWICBitmapFrameDecode> frame;
  EXPECT_EQ(decoder->GetFrame(1, frame.Put()), WINCODEC_ERR_FRAMEMISSING);
  EXPECT_FALSE(frame);
  ASSERT_EQ(decoder->GetFrame(0, frame.Put()), S_OK);

  Held<IWICFormatConverter> converter;
  ASSERT_EQ(factory_->CreateFormatConverter(converter.Put()), S_OK);
  UINT width = 0;
  UINT height = 0;
  EXPECT_EQ(converter->GetSize(&width, &height), WINCODEC_ERR_NOTINITIALIZED);
  // The model converts to 32-bit BGRA alone; Windows converts to many more formats.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(
        converter->Initialize(frame.get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                              nullptr, 0.0, WICBitmapPaletteTypeCustom),
        WINCODEC_ERR_UNSUPPORTEDOPERATION);
  }
  ASSERT_EQ(
      converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                            nullptr, 0.0, WICBitmapPaletteTypeCustom),
      S_OK);
  EXPECT_EQ(
      converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                            nullptr, 0.0, WICBitmapPaletteTypeCustom),
      WINCODEC_ERR_WRONGSTATE);
  // The converter holds its source: it still answers after the caller lets go of the frame.
  frame.Reset();
  EXPECT_EQ(converter->GetSize(&width, &height), S_OK);
  EXPECT_EQ(width, 4u);
  EXPECT_EQ(height, 3u);
}

}  // namespace
}  // namespace halvex::testing
