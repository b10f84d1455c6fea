#include "mf_media_buffer.h"

#include <mfapi.h>
#include <mferror.h>

#include <new>
#include <utility>

#include "fault_injection.h"

namespace halvex::platform {

MediaBuffer::MediaBuffer(std::unique_ptr<BYTE[]> data, DWORD max_length)
    : data_(std::move(data)), max_length_(max_length) {}

HRESULT STDMETHODCALLTYPE MediaBuffer::Lock(BYTE** ppbBuffer,
                                            DWORD* pcbMaxLength,
                                            DWORD* pcbCurrentLength) {
  HALVEX_RETURN_IF_FAULT("IMFMediaBuffer::Lock");
  if (ppbBuffer == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++lock_count_;
  *ppbBuffer = data_.get();
  if (pcbMaxLength != nullptr) {
    *pcbMaxLength = max_length_;
  }
  if (pcbCurrentLength != nullptr) {
    *pcbCurrentLength = current_length_;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaBuffer::Unlock() {
  HALVEX_RETURN_IF_FAULT("IMFMediaBuffer::Unlock");
  std::lock_guard<std::mutex> lock(mutex_);
  if (lock_count_ == 0) {
    return MF_E_INVALIDREQUEST;
  }
  --lock_count_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaBuffer::GetCurrentLength(DWORD* pcbCurrentLength) {
  HALVEX_RETURN_IF_FAULT("IMFMediaBuffer::GetCurrentLength");
  if (pcbCurrentLength == nullptr) {
    return E_POINTER;
  }
  *pcbCurrentLength = CurrentLength();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaBuffer::SetCurrentLength(DWORD cbCurrentLength) {
  HALVEX_RETURN_IF_FAULT("IMFMediaBuffer::SetCurrentLength");
  std::lock_guard<std::mutex> lock(mutex_);
  if (cbCurrentLength > max_length_) {
    return E_INVALIDARG;
  }
  current_length_ = cbCurrentLength;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaBuffer::GetMaxLength(DWORD* pcbMaxLength) {
  HALVEX_RETURN_IF_FAULT("IMFMediaBuffer::GetMaxLength");
  if (pcbMaxLength == nullptr) {
    return E_POINTER;
  }
  *pcbMaxLength = max_length_;
  return S_OK;
}

void MediaBuffer::AppendCurrentBytes(std::vector<BYTE>* out) const {
  std::lock_guard<std::mutex> lock(mutex_);
  out->insert(out->end(), data_.get(), data_.get() + current_length_);
}

DWORD MediaBuffer::CurrentLength() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return current_length_;
}

}  // namespace halvex::platform

HRESULT WINAPI MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer** ppBuffer) {
  using halvex::platform::MediaBuffer;
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = nullptr;
  HALVEX_RETURN_IF_FAULT("MFCreateMemoryBuffer");
  if (cbMaxLength > MediaBuffer::kMaxLength) {
    return E_OUTOFMEMORY;
  }
  // Zero-filled so that bytes the caller never wrote read the same on every run; never empty, so
  // Lock gives a real pointer even for a zero-length buffer.
  std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[cbMaxLength == 0 ? 1 : cbMaxLength]());
  if (data == nullptr) {
    return E_OUTOFMEMORY;
  }
  *ppBuffer = MediaBuffer::Create(std::move(data), cbMaxLength);
  return *ppBuffer == nullptr ? E_OUTOFMEMORY : S_OK;
}
