// IAudioCaptureClient: hands out the scripted device's packets while its stream runs.
#include <audioclient.h>

#include <utility>

#include "com_object.h"
#include "fault_injection.h"
#include "wasapi_audio_stream.h"
#include "wasapi_device_script.h"

namespace halvex::platform {
namespace {

class CaptureClient final : public ComObject<CaptureClient, IAudioCaptureClient> {
 public:
  explicit CaptureClient(std::shared_ptr<AudioStream> stream) : stream_(std::move(stream)) {}

  HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** ppData,
                                      UINT32* pNumFramesToRead,
                                      DWORD* pdwFlags,
                                      UINT64* pu64DevicePosition,
                                      UINT64* pu64QPCPosition) override {
    if (ppData == nullptr || pNumFramesToRead == nullptr || pdwFlags == nullptr) {
      return E_POINTER;
    }
    *ppData = nullptr;
    *pNumFramesToRead = 0;
    *pdwFlags = 0;
    HALVEX_RETURN_IF_FAULT("IAudioCaptureClient::GetBuffer");
    if (stream_->device->IsInvalidated()) {
      return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    UINT64 position = 0;
    UINT64 time = 0;
    const HRESULT hr = stream_->device->GetBuffer(IsStarted(), ppData, pNumFramesToRead, pdwFlags,
                                                  &position, &time);
    if (hr == S_OK) {
      if (pu64DevicePosition != nullptr) {
        *pu64DevicePosition = position;
      }
      if (pu64QPCPosition != nullptr) {
        *pu64QPCPosition = time;
      }
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 NumFramesRead) override {
    UINT32 frames_held = 0;
    HRESULT hr = CheckFault("IAudioCaptureClient::ReleaseBuffer").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = stream_->device->ReleaseBuffer(NumFramesRead, &frames_held);
    }
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.releases.push_back(testing::RecordedReleaseBuffer{frames_held, NumFramesRead, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* pNumFramesInNextPacket) override {
    HALVEX_RETURN_IF_FAULT("IAudioCaptureClient::GetNextPacketSize");
    if (pNumFramesInNextPacket == nullptr) {
      return E_POINTER;
    }
    if (stream_->device->IsInvalidated()) {
      return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    *pNumFramesInNextPacket = IsStarted() ? stream_->device->NextPacketFrames() : 0;
    return S_OK;
  }

 private:
  bool IsStarted() const {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    return stream_->started;
  }

  const std::shared_ptr<AudioStream> stream_;
};

}  // namespace

IAudioCaptureClient* CreateCaptureClient(std::shared_ptr<AudioStream> stream) {
  return CaptureClient::Create(std::move(stream));
}

}  // namespace halvex::platform
