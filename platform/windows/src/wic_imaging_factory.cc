// IWICImagingFactory: makes streams, decoders and converters.
#include "wic_imaging_factory.h"

#include <wincodec.h>

#include <vector>

#include "com_object.h"
#include "fault_injection.h"
#include "wic_decoded_image.h"
#include "wic_objects.h"

namespace halvex::platform {
namespace {

class ImagingFactory final : public ComObject<ImagingFactory, IWICImagingFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateDecoderFromStream(IStream* pIStream,
                                                    const GUID* pguidVendor,
                                                    WICDecodeOptions metadataOptions,
                                                    IWICBitmapDecoder** ppIDecoder) override {
    if (ppIDecoder == nullptr) {
      return E_INVALIDARG;
    }
    *ppIDecoder = nullptr;
    std::vector<BYTE> bytes;
    HRESULT hr = CheckFault("IWICImagingFactory::CreateDecoderFromStream").value_or(S_OK);
    if (SUCCEEDED(hr) &&
        (pIStream == nullptr || (metadataOptions != WICDecodeMetadataCacheOnDemand &&
                                 metadataOptions != WICDecodeMetadataCacheOnLoad))) {
      hr = E_INVALIDARG;
    }
    if (SUCCEEDED(hr)) {
      hr = ReadRemainingStream(pIStream, &bytes);
    }
    SharedImage image;
    if (SUCCEEDED(hr)) {
      hr = DecodeImage(bytes, &image);
    }
    if (SUCCEEDED(hr)) {
      hr = image->FailureAt("IWICImagingFactory::CreateDecoderFromStream");
    }
    if (SUCCEEDED(hr)) {
      *ppIDecoder = CreateBitmapDecoder(image);
      hr = *ppIDecoder == nullptr ? E_OUTOFMEMORY : S_OK;
    }
    RecordImagingCall([&](testing::ImagingCalls& calls) {
      calls.decoders.push_back(testing::RecordedDecoderCreation{
          static_cast<DWORD>(bytes.size()), pguidVendor != nullptr, metadataOptions, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE
  CreateFormatConverter(IWICFormatConverter** ppIFormatConverter) override {
    if (ppIFormatConverter == nullptr) {
      return E_INVALIDARG;
    }
    *ppIFormatConverter = nullptr;
    HALVEX_RETURN_IF_FAULT("IWICImagingFactory::CreateFormatConverter");
    *ppIFormatConverter = platform::CreateFormatConverter();
    return *ppIFormatConverter == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateStream(IWICStream** ppIWICStream) override {
    if (ppIWICStream == nullptr) {
      return E_INVALIDARG;
    }
    *ppIWICStream = nullptr;
    HALVEX_RETURN_IF_FAULT("IWICImagingFactory::CreateStream");
    *ppIWICStream = CreateImagingStream();
    return *ppIWICStream == nullptr ? E_OUTOFMEMORY : S_OK;
  }
};

}  // namespace

IUnknown* CreateImagingFactory() {
  return static_cast<IWICImagingFactory*>(ImagingFactory::Create());
}

}  // namespace halvex::platform
