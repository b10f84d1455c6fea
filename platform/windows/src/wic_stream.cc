// IWICStream over the caller's memory.
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "com_object.h"
#include "fault_injection.h"
#include "wic_decoded_image.h"
#include "wic_objects.h"

namespace halvex::platform {
namespace {

constexpr HRESULT kMediumFull = HALVEX_HRESULT(0x80030070UL);  // STG_E_MEDIUMFULL

class ImagingStream final : public ComObject<ImagingStream, IWICStream> {
 public:
  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override {
    HALVEX_RETURN_IF_FAULT("IWICStream::Read");
    if (pv == nullptr) {
      return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (memory_ == nullptr) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    const ULONG count = std::min<ULONG>(cb, size_ - position_);
    if (count != 0) {
      std::memcpy(pv, memory_ + position_, count);
    }
    position_ += count;
    if (pcbRead != nullptr) {
      *pcbRead = count;
    }
    return count == cb ? S_OK : S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    HALVEX_RETURN_IF_FAULT("IWICStream::Write");
    if (pv == nullptr) {
      return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (memory_ == nullptr) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    // The memory's size is fixed: a write past its end writes nothing.
    if (cb > size_ - position_) {
      return kMediumFull;
    }
    if (cb != 0) {
      std::memcpy(memory_ + position_, pv, cb);
    }
    position_ += cb;
    if (pcbWritten != nullptr) {
      *pcbWritten = cb;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE InitializeFromMemory(BYTE* pbBuffer, DWORD cbBufferSize) override {
    HRESULT hr = CheckFault("IWICStream::InitializeFromMemory").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (pbBuffer == nullptr) {
        hr = E_INVALIDARG;
      } else if (memory_ != nullptr) {
        hr = WINCODEC_ERR_WRONGSTATE;
      } else {
        memory_ = pbBuffer;
        size_ = cbBufferSize;
      }
    }
    RecordImagingCall(
        [&](testing::ImagingCalls& calls) { calls.stream_sizes.push_back(cbBufferSize); });
    return hr;
  }

  // What the decoder reads: the rest of the memory, as a stream's reader would see it.
  HRESULT ReadRemaining(std::vector<BYTE>* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (memory_ == nullptr) {
      return WINCODEC_ERR_NOTINITIALIZED;
    }
    bytes->assign(memory_ + position_, memory_ + size_);
    position_ = size_;
    return S_OK;
  }

 private:
  std::mutex mutex_;
  BYTE* memory_ = nullptr;
  DWORD size_ = 0;
  DWORD position_ = 0;
};

}  // namespace

IWICStream* CreateImagingStream() {
  return ImagingStream::Create();
}

HRESULT ReadRemainingStream(IStream* stream, std::vector<BYTE>* bytes) {
  if (auto* own = dynamic_cast<ImagingStream*>(stream)) {
    return own->ReadRemaining(bytes);
  }
  // Any other stream is read through its interface, in chunks.
  bytes->clear();
  BYTE chunk[4096];
  for (;;) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(chunk, sizeof(chunk), &read);
    if (FAILED(hr)) {
      return hr;
    }
    bytes->insert(bytes->end(), chunk, chunk + read);
    if (hr == S_FALSE || read == 0) {
      return S_OK;
    }
  }
}

}  // namespace halvex::platform
