// MFCreateAttributes and MFCreateMediaType: attribute stores, plain and as media types.
#include <mfapi.h>
#include <mferror.h>

#include "fault_injection.h"
#include "mf_attributes_object.h"

namespace halvex::platform {
namespace {

class Attributes final : public AttributesObject<Attributes, IMFAttributes> {};

class MediaType final : public AttributesObject<MediaType, IMFMediaType> {
 public:
  HRESULT STDMETHODCALLTYPE GetMajorType(GUID* pguidMajorType) override {
    HALVEX_RETURN_IF_FAULT("IMFMediaType::GetMajorType");
    return pguidMajorType == nullptr ? E_POINTER
                                     : ReadAttribute(store_, MF_MT_MAJOR_TYPE, pguidMajorType);
  }

  HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) override {
    HALVEX_RETURN_IF_FAULT("IMFMediaType::IsCompressedFormat");
    if (pfCompressed == nullptr) {
      return E_POINTER;
    }
    // A type counts as uncompressed only when it says every sample stands alone.
    UINT32 independent = 0;
    const HRESULT hr = ReadAttribute(store_, MF_MT_ALL_SAMPLES_INDEPENDENT, &independent);
    *pfCompressed = SUCCEEDED(hr) && independent != 0 ? FALSE : TRUE;
    return S_OK;
  }
};

}  // namespace
}  // namespace halvex::platform

HRESULT WINAPI MFCreateAttributes(IMFAttributes** ppMFAttributes, UINT32 /*cInitialSize*/) {
  if (ppMFAttributes == nullptr) {
    return E_POINTER;
  }
  *ppMFAttributes = nullptr;
  HALVEX_RETURN_IF_FAULT("MFCreateAttributes");
  *ppMFAttributes = halvex::platform::Attributes::Create();
  return *ppMFAttributes == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT WINAPI MFCreateMediaType(IMFMediaType** ppMFType) {
  if (ppMFType == nullptr) {
    return E_POINTER;
  }
  *ppMFType = nullptr;
  HALVEX_RETURN_IF_FAULT("MFCreateMediaType");
  *ppMFType = halvex::platform::MediaType::Create();
  return *ppMFType == nullptr ? E_OUTOFMEMORY : S_OK;
}
