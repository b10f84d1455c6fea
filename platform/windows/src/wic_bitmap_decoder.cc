// IWICBitmapDecoder and IWICBitmapFrameDecode over one decoded image.
#include <wincodec.h>

#include <utility>

#include "com_object.h"
#include "fault_injection.h"
#include "wic_decoded_image.h"
#include "wic_objects.h"

namespace halvex::platform {
namespace {

constexpr double kImageDpi = 96.0;

class BitmapDecoder final : public ComObject<BitmapDecoder, IWICBitmapDecoder> {
 public:
  explicit BitmapDecoder(SharedImage image) : image_(std::move(image)) {}

  HRESULT STDMETHODCALLTYPE GetContainerFormat(GUID* pguidContainerFormat) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapDecoder::GetContainerFormat");
    if (pguidContainerFormat == nullptr) {
      return E_INVALIDARG;
    }
    *pguidContainerFormat = image_->container;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetFrameCount(UINT* pCount) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapDecoder::GetFrameCount");
    if (pCount == nullptr) {
      return E_INVALIDARG;
    }
    *pCount = 1;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetFrame(UINT index, IWICBitmapFrameDecode** ppIBitmapFrame) override {
    if (ppIBitmapFrame == nullptr) {
      return E_INVALIDARG;
    }
    *ppIBitmapFrame = nullptr;
    HRESULT hr = CheckFault("IWICBitmapDecoder::GetFrame").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = image_->FailureAt("IWICBitmapDecoder::GetFrame");
    }
    if (SUCCEEDED(hr) && index != 0) {
      hr = WINCODEC_ERR_FRAMEMISSING;
    }
    if (SUCCEEDED(hr)) {
      *ppIBitmapFrame = CreateBitmapFrame(image_);
      hr = *ppIBitmapFrame == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    RecordImagingCall(
        [index](testing::ImagingCalls& calls) { calls.frame_indices.push_back(index); });
    return hr;
  }

 private:
  const SharedImage image_;
};

class BitmapFrame final : public ComObject<BitmapFrame, IWICBitmapFrameDecode>, public ImageHolder {
 public:
  explicit BitmapFrame(SharedImage image) : image_(std::move(image)) {}

  SharedImage HeldImage() const override { return image_; }

  HRESULT STDMETHODCALLTYPE GetSize(UINT* puiWidth, UINT* puiHeight) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapFrameDecode::GetSize");
    if (puiWidth == nullptr || puiHeight == nullptr) {
      return E_INVALIDARG;
    }
    const HRESULT failure = image_->FailureAt("IWICBitmapFrameDecode::GetSize");
    if (FAILED(failure)) {
      return failure;
    }
    *puiWidth = image_->width;
    *puiHeight = image_->height;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetPixelFormat(WICPixelFormatGUID* pPixelFormat) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapFrameDecode::GetPixelFormat");
    if (pPixelFormat == nullptr) {
      return E_INVALIDARG;
    }
    *pPixelFormat = GUID_WICPixelFormat32bppBGRA;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetResolution(double* pDpiX, double* pDpiY) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapFrameDecode::GetResolution");
    if (pDpiX == nullptr || pDpiY == nullptr) {
      return E_INVALIDARG;
    }
    *pDpiX = kImageDpi;
    *pDpiY = kImageDpi;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyPalette(IWICPalette* /*pIPalette*/) override {
    HALVEX_RETURN_IF_FAULT("IWICBitmapFrameDecode::CopyPalette");
    return WINCODEC_ERR_PALETTEUNAVAILABLE;
  }

  HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* prc,
                                       UINT cbStride,
                                       UINT cbBufferSize,
                                       BYTE* pbBuffer) override {
    HRESULT hr = CheckFault("IWICBitmapFrameDecode::CopyPixels").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = image_->FailureAt("IWICBitmapFrameDecode::CopyPixels");
    }
    if (SUCCEEDED(hr)) {
      hr = CopyImagePixels(*image_, prc, cbStride, cbBufferSize, pbBuffer);
    }
    RecordImagingCall([&](testing::ImagingCalls& calls) {
      calls.copies.push_back(testing::RecordedCopyPixels{
          "IWICBitmapFrameDecode", prc == nullptr ? std::nullopt : std::optional<WICRect>(*prc),
          cbStride, cbBufferSize, hr});
    });
    return hr;
  }

 private:
  const SharedImage image_;
};

}  // namespace

IWICBitmapDecoder* CreateBitmapDecoder(SharedImage image) {
  return BitmapDecoder::Create(std::move(image));
}

IWICBitmapFrameDecode* CreateBitmapFrame(SharedImage image) {
  return BitmapFrame::Create(std::move(image));
}

}  // namespace halvex::platform
