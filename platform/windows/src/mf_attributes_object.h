// AttributesObject: the IMFAttributes part of every stand-in object that is an attribute store
// (attribute stores themselves, media types, samples).
#ifndef HALVEX_STANDIN_MF_ATTRIBUTES_OBJECT_H_
#define HALVEX_STANDIN_MF_ATTRIBUTES_OBJECT_H_

#include <combaseapi.h>
#include <mferror.h>
#include <mfobjects.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <variant>
#include <vector>

#include "com_object.h"
#include "fault_injection.h"
#include "mf_attribute_store.h"

namespace halvex::platform {

#define HALVEX_INSUFFICIENT_BUFFER HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)

template <typename Derived, typename Primary, typename... Others>
class AttributesObject : public ComObject<Derived, Primary, Others...>,
                         public AttributeSnapshotSource {
 public:
  AttributeList SnapshotAttributes() const override { return store_.Snapshot(); }

  HRESULT STDMETHODCALLTYPE GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetItemType");
    if (pType == nullptr) {
      return E_POINTER;
    }
    const std::optional<AttributeValue> value = store_.Find(guidKey);
    if (!value) {
      return MF_E_ATTRIBUTENOTFOUND;
    }
    static constexpr MF_ATTRIBUTE_TYPE kTypes[] = {MF_ATTRIBUTE_UINT32, MF_ATTRIBUTE_UINT64,
                                                   MF_ATTRIBUTE_DOUBLE, MF_ATTRIBUTE_GUID,
                                                   MF_ATTRIBUTE_STRING, MF_ATTRIBUTE_BLOB};
    *pType = kTypes[value->index()];
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetUINT32(REFGUID guidKey, UINT32* punValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetUINT32");
    return punValue == nullptr ? E_POINTER : ReadAttribute(store_, guidKey, punValue);
  }

  HRESULT STDMETHODCALLTYPE GetUINT64(REFGUID guidKey, UINT64* punValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetUINT64");
    return punValue == nullptr ? E_POINTER : ReadAttribute(store_, guidKey, punValue);
  }

  HRESULT STDMETHODCALLTYPE GetDouble(REFGUID guidKey, double* pfValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetDouble");
    return pfValue == nullptr ? E_POINTER : ReadAttribute(store_, guidKey, pfValue);
  }

  HRESULT STDMETHODCALLTYPE GetGUID(REFGUID guidKey, GUID* pguidValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetGUID");
    return pguidValue == nullptr ? E_POINTER : ReadAttribute(store_, guidKey, pguidValue);
  }

  HRESULT STDMETHODCALLTYPE GetStringLength(REFGUID guidKey, UINT32* pcchLength) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetStringLength");
    if (pcchLength == nullptr) {
      return E_POINTER;
    }
    std::wstring value;
    const HRESULT hr = ReadAttribute(store_, guidKey, &value);
    if (SUCCEEDED(hr)) {
      *pcchLength = static_cast<UINT32>(value.size());
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetString(REFGUID guidKey,
                                      LPWSTR pwszValue,
                                      UINT32 cchBufSize,
                                      UINT32* pcchLength) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetString");
    if (pwszValue == nullptr) {
      return E_POINTER;
    }
    std::wstring value;
    const HRESULT hr = ReadAttribute(store_, guidKey, &value);
    if (FAILED(hr)) {
      return hr;
    }
    if (value.size() + 1 > cchBufSize) {
      return HALVEX_INSUFFICIENT_BUFFER;
    }
    std::wmemcpy(pwszValue, value.c_str(), value.size() + 1);
    if (pcchLength != nullptr) {
      *pcchLength = static_cast<UINT32>(value.size());
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID guidKey,
                                               LPWSTR* ppwszValue,
                                               UINT32* pcchLength) override {
    if (ppwszValue == nullptr || pcchLength == nullptr) {
      return E_POINTER;
    }
    *ppwszValue = nullptr;
    *pcchLength = 0;
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetAllocatedString");
    std::wstring value;
    const HRESULT hr = ReadAttribute(store_, guidKey, &value);
    if (FAILED(hr)) {
      return hr;
    }
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((value.size() + 1) * sizeof(wchar_t)));
    if (copy == nullptr) {
      return E_OUTOFMEMORY;
    }
    std::wmemcpy(copy, value.c_str(), value.size() + 1);
    *ppwszValue = copy;
    *pcchLength = static_cast<UINT32>(value.size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetBlobSize");
    if (pcbBlobSize == nullptr) {
      return E_POINTER;
    }
    std::vector<UINT8> value;
    const HRESULT hr = ReadAttribute(store_, guidKey, &value);
    if (SUCCEEDED(hr)) {
      *pcbBlobSize = static_cast<UINT32>(value.size());
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetBlob(REFGUID guidKey,
                                    UINT8* pBuf,
                                    UINT32 cbBufSize,
                                    UINT32* pcbBlobSize) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetBlob");
    if (pBuf == nullptr) {
      return E_POINTER;
    }
    std::vector<UINT8> value;
    const HRESULT hr = ReadAttribute(store_, guidKey, &value);
    if (FAILED(hr)) {
      return hr;
    }
    if (value.size() > cbBufSize) {
      return HALVEX_INSUFFICIENT_BUFFER;
    }
    if (!value.empty()) {
      std::memcpy(pBuf, value.data(), value.size());
    }
    if (pcbBlobSize != nullptr) {
      *pcbBlobSize = static_cast<UINT32>(value.size());
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DeleteItem(REFGUID guidKey) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::DeleteItem");
    store_.Delete(guidKey);  // Deleting a missing key is not an error.
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE DeleteAllItems() override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::DeleteAllItems");
    store_.Clear();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetUINT32(REFGUID guidKey, UINT32 unValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetUINT32");
    store_.Set(guidKey, unValue);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetUINT64(REFGUID guidKey, UINT64 unValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetUINT64");
    store_.Set(guidKey, unValue);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetDouble(REFGUID guidKey, double fValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetDouble");
    store_.Set(guidKey, fValue);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guidKey, REFGUID guidValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetGUID");
    store_.Set(guidKey, GUID(guidValue));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetString(REFGUID guidKey, LPCWSTR wszValue) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetString");
    if (wszValue == nullptr) {
      return E_INVALIDARG;
    }
    store_.Set(guidKey, std::wstring(wszValue));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetBlob(REFGUID guidKey, const UINT8* pBuf, UINT32 cbBufSize) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::SetBlob");
    if (pBuf == nullptr && cbBufSize != 0) {
      return E_INVALIDARG;
    }
    store_.Set(guidKey,
               pBuf == nullptr ? std::vector<UINT8>() : std::vector<UINT8>(pBuf, pBuf + cbBufSize));
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetCount(UINT32* pcItems) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::GetCount");
    if (pcItems == nullptr) {
      return E_POINTER;
    }
    *pcItems = store_.Count();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CopyAllItems(IMFAttributes* pDest) override {
    HALVEX_RETURN_IF_FAULT("IMFAttributes::CopyAllItems");
    if (pDest == nullptr) {
      return E_POINTER;
    }
    // Through the destination's own interface, so any attribute store can receive the copy.
    HRESULT hr = pDest->DeleteAllItems();
    for (const Attribute& item : store_.Snapshot()) {
      if (FAILED(hr)) {
        break;
      }
      hr = std::visit([&](const auto& value) { return CopyItem(pDest, item.key, value); },
                      item.value);
    }
    return hr;
  }

 protected:
  AttributeStore store_;

 private:
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, UINT32 value) {
    return dest->SetUINT32(key, value);
  }
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, UINT64 value) {
    return dest->SetUINT64(key, value);
  }
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, double value) {
    return dest->SetDouble(key, value);
  }
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, const GUID& value) {
    return dest->SetGUID(key, value);
  }
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, const std::wstring& value) {
    return dest->SetString(key, value.c_str());
  }
  static HRESULT CopyItem(IMFAttributes* dest, REFGUID key, const std::vector<UINT8>& value) {
    return dest->SetBlob(key, value.data(), static_cast<UINT32>(value.size()));
  }
};

#undef HALVEX_INSUFFICIENT_BUFFER

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_ATTRIBUTES_OBJECT_H_
