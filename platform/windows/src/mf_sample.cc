#include "mf_sample.h"

#include <mfapi.h>
#include <mferror.h>

#include "fault_injection.h"
#include "mf_media_buffer.h"

namespace halvex::platform {

HRESULT STDMETHODCALLTYPE Sample::GetSampleTime(LONGLONG* phnsSampleTime) {
  HALVEX_RETURN_IF_FAULT("IMFSample::GetSampleTime");
  if (phnsSampleTime == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!time_) {
    return MF_E_NO_SAMPLE_TIMESTAMP;
  }
  *phnsSampleTime = *time_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::SetSampleTime(LONGLONG hnsSampleTime) {
  HALVEX_RETURN_IF_FAULT("IMFSample::SetSampleTime");
  std::lock_guard<std::mutex> lock(mutex_);
  time_ = hnsSampleTime;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::GetSampleDuration(LONGLONG* phnsSampleDuration) {
  HALVEX_RETURN_IF_FAULT("IMFSample::GetSampleDuration");
  if (phnsSampleDuration == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (!duration_) {
    return MF_E_NO_SAMPLE_DURATION;
  }
  *phnsSampleDuration = *duration_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::SetSampleDuration(LONGLONG hnsSampleDuration) {
  HALVEX_RETURN_IF_FAULT("IMFSample::SetSampleDuration");
  std::lock_guard<std::mutex> lock(mutex_);
  duration_ = hnsSampleDuration;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::GetBufferCount(DWORD* pdwBufferCount) {
  HALVEX_RETURN_IF_FAULT("IMFSample::GetBufferCount");
  if (pdwBufferCount == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  *pdwBufferCount = static_cast<DWORD>(buffers_.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::GetBufferByIndex(DWORD dwIndex, IMFMediaBuffer** ppBuffer) {
  if (ppBuffer == nullptr) {
    return E_POINTER;
  }
  *ppBuffer = nullptr;
  HALVEX_RETURN_IF_FAULT("IMFSample::GetBufferByIndex");
  std::lock_guard<std::mutex> lock(mutex_);
  if (dwIndex >= buffers_.size()) {
    return E_INVALIDARG;
  }
  *ppBuffer = buffers_[dwIndex].get();
  (*ppBuffer)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::AddBuffer(IMFMediaBuffer* pBuffer) {
  HALVEX_RETURN_IF_FAULT("IMFSample::AddBuffer");
  if (pBuffer == nullptr) {
    return E_INVALIDARG;
  }
  // Only the stand-in's own buffers exist here; anything else is a stale or foreign pointer.
  if (dynamic_cast<MediaBuffer*>(pBuffer) == nullptr) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  buffers_.push_back(ComRef<IMFMediaBuffer>::Share(pBuffer));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::RemoveAllBuffers() {
  HALVEX_RETURN_IF_FAULT("IMFSample::RemoveAllBuffers");
  std::vector<ComRef<IMFMediaBuffer>> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed.swap(buffers_);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Sample::GetTotalLength(DWORD* pcbTotalLength) {
  HALVEX_RETURN_IF_FAULT("IMFSample::GetTotalLength");
  if (pcbTotalLength == nullptr) {
    return E_POINTER;
  }
  *pcbTotalLength = Content(false).length;
  return S_OK;
}

SampleContent Sample::Content(bool with_bytes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  SampleContent content;
  content.time = time_;
  content.duration = duration_;
  for (const ComRef<IMFMediaBuffer>& buffer : buffers_) {
    const auto* memory = static_cast<const MediaBuffer*>(buffer.get());
    content.length += memory->CurrentLength();
    if (with_bytes) {
      memory->AppendCurrentBytes(&content.bytes);
    }
  }
  return content;
}

SampleData Sample::Data() const {
  std::lock_guard<std::mutex> lock(mutex_);
  SampleData data;
  data.time = time_.value_or(0);
  data.duration = duration_;
  if (buffers_.size() == 1) {
    const auto* memory = static_cast<const MediaBuffer*>(buffers_[0].get());
    // The shared owner holds a reference to the buffer, released by whoever lets go last.
    auto buffer =
        std::make_shared<ComRef<IMFMediaBuffer>>(ComRef<IMFMediaBuffer>::Share(buffers_[0].get()));
    data.data = memory->Data();
    data.size = memory->CurrentLength();
    data.owner = std::move(buffer);
    return data;
  }
  auto joined = std::make_shared<std::vector<BYTE>>();
  for (const ComRef<IMFMediaBuffer>& buffer : buffers_) {
    static_cast<const MediaBuffer*>(buffer.get())->AppendCurrentBytes(joined.get());
  }
  data.data = joined->data();
  data.size = joined->size();
  data.owner = std::move(joined);
  return data;
}

}  // namespace halvex::platform

HRESULT WINAPI MFCreateSample(IMFSample** ppIMFSample) {
  if (ppIMFSample == nullptr) {
    return E_POINTER;
  }
  *ppIMFSample = nullptr;
  HALVEX_RETURN_IF_FAULT("MFCreateSample");
  *ppIMFSample = halvex::platform::Sample::Create();
  return *ppIMFSample == nullptr ? E_OUTOFMEMORY : S_OK;
}
