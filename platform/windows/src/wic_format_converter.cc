// IWICFormatConverter: hands out its source's pixels as 32-bit BGRA.
#include <wincodec.h>

#include <mutex>
#include <utility>

#include "com_object.h"
#include "com_ref.h"
#include "fault_injection.h"
#include "wic_decoded_image.h"
#include "wic_objects.h"

namespace halvex::platform {
namespace {

// Every stand-in source is 32-bit BGRA already, so that is the one conversion there is.
bool IsSupportedConversion(REFWICPixelFormatGUID source, REFWICPixelFormatGUID target) {
  return IsEqualGUID(source, GUID_WICPixelFormat32bppBGRA) &&
         IsEqualGUID(target, GUID_WICPixelFormat32bppBGRA);
}

class FormatConverter final : public ComObject<FormatConverter, IWICFormatConverter>,
                              public ImageHolder {
 public:
  SharedImage HeldImage() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_;
  }

  HRESULT STDMETHODCALLTYPE Initialize(IWICBitmapSource* pISource,
                                       REFWICPixelFormatGUID dstFormat,
                                       WICBitmapDitherType dither,
                                       IWICPalette* pIPalette,
                                       double alphaThresholdPercent,
                                       WICBitmapPaletteType paletteTranslate) override {
    HRESULT hr = CheckFault("IWICFormatConverter::Initialize").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = InitializeFrom(pISource, dstFormat);
    }
    RecordImagingCall([&](testing::ImagingCalls& calls) {
      calls.converter_initializations.push_back(testing::RecordedConverterInitialization{
          dstFormat, dither, pIPalette != nullptr, alphaThresholdPercent, paletteTranslate, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE CanConvert(REFWICPixelFormatGUID srcPixelFormat,
                                       REFWICPixelFormatGUID dstPixelFormat,
                                       BOOL* pfCanConvert) override {
    HALVEX_RETURN_IF_FAULT("IWICFormatConverter::CanConvert");
    if (pfCanConvert == nullptr) {
      return E_INVALIDARG;
    }
    *pfCanConvert = IsSupportedConversion(srcPixelFormat, dstPixelFormat) ? TRUE : FALSE;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetSize(UINT* puiWidth, UINT* puiHeight) override {
    HALVEX_RETURN_IF_FAULT("IWICFormatConverter::GetSize");
    if (puiWidth == nullptr || puiHeight == nullptr) {
      return E_INVALIDARG;
    }
    const SharedImage image = HeldImage();
    if (!image) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    const HRESULT failure = image->FailureAt("IWICFormatConverter::GetSize");
    if (FAILED(failure)) {
      return failure;
    }
    *puiWidth = image->width;
    *puiHeight = image->height;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* pPixelFormat) override {
    HALVEX_RETURN_IF_FAULT("IWICFormatConverter::GetPixelFormat");
    if (pPixelFormat == nullptr) {
      return E_INVALIDARG;
    }
    if (!HeldImage()) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    *pPixelFormat = GUID_WICPixelFormat32bppBGRA;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetResolution(double* pDpiX, double* pDpiY) override {
    HALVEX_RETURN_IF_FAULT("IWICFormatConverter::GetResolution");
    if (pDpiX == nullptr || pDpiY == nullptr) {
      return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!source_) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    return source_->GetResolution(pDpiX, pDpiY);
  }

  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* /*pIPalette*/) override {
    HALVEX_RETURN_IF_FAULT("IWICFormatConverter::CopyPalette");
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }

  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* prc,
                                       UINT cbStride,
                                       UINT cbBufferSize,
                                       BYTE* pbBuffer) override {
    HRESULT hr = CheckFault("IWICFormatConverter::CopyPixels").value_or(S_OK);
    const SharedImage image = HeldImage();
    if (SUCCEEDED(hr) && !image) {
      hr = WINCODEC_ERR_NOTINITIALIZED;
    }
    if (SUCCEEDED(hr)) {
      hr = image->FailureAt("IWICFormatConverter::CopyPixels");
    }
    // The converter reads its pixels from its source: a frame that cannot copy fails it too.
    if (SUCCEEDED(hr)) {
      hr = image->FailureAt("IWICBitmapFrameDecode::CopyPixels");
    }
    if (SUCCEEDED(hr)) {
      hr = CopyImagePixels(*image, prc, cbStride, cbBufferSize, pbBuffer);
    }
    RecordImagingCall([&](testing::ImagingCalls& calls) {
      calls.copies.push_back(testing::RecordedCopyPixels{
          "IWICFormatConverter", prc == nullptr ? std::nullopt : std::optional<WICRect>(*prc),
          cbStride, cbBufferSize, hr});
    });
    return hr;
  }

 private:
  HRESULT InitializeFrom(IWICBitmapSource* source, REFWICPixelFormatGUID target) {
    if (source == nullptr) {
      return E_INVALIDARG;
    }
    const auto* holder = dynamic_cast<const ImageHolder*>(source);
    SharedImage image = holder == nullptr ? nullptr : holder->HeldImage();
    if (!image) {
      return holder == nullptr ? E_INVALIDARG : WINCODEC_ERR_NOTINITIALIZED;
    }
    const HRESULT failure = image->FailureAt("IWICFormatConverter::Initialize");
    if (FAILED(failure)) {
      return failure;
    }
    if (!IsSupportedConversion(GUID_WICPixelFormat32bppBGRA, target)) {
      return WINCODEC_ERR_UNSUPPORTEDOPERATION;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (image_) {
      return WINCODEC_ERR_WRONGSTATE;
    }
    // The converter keeps its source alive, as the real one reads from it on demand.
    source_ = ComRef<IWICBitmapSource>::Share(source);
    image_ = std::move(image);
    return S_OK;
  }

  mutable std::mutex mutex_;
  ComRef<IWICBitmapSource> source_;
  SharedImage image_;
};

}  // namespace

IWICFormatConverter* CreateFormatConverter() {
  return FormatConverter::Create();
}

}  // namespace halvex::platform
