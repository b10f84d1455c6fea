// IAudioClient on the scripted device: set-up, mix format, start and stop, capture service.
#include <audioclient.h>
#include <combaseapi.h>

#include <cstring>
#include <utility>
#include <vector>

#include "com_object.h"
#include "fault_injection.h"
#include "wasapi_audio_stream.h"
#include "wasapi_device_script.h"

namespace halvex::platform {
namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

std::vector<BYTE> FormatBytes(const WAVEFORMATEX* format) {
  const auto* bytes = reinterpret_cast<const BYTE*>(format);
  return std::vector<BYTE>(bytes, bytes + sizeof(WAVEFORMATEX) + format->cbSize);
}

DWORD SampleRateOf(const std::vector<BYTE>& format) {
  WAVEFORMATEX header;
  std::memcpy(&header, format.data(), sizeof(header));
  return header.nSamplesPerSec;
}

class AudioClient final : public ComObject<AudioClient, IAudioClient> {
 public:
  explicit AudioClient(std::shared_ptr<DeviceScript> script)
      : stream_(std::make_shared<AudioStream>(std::move(script))) {}

  // A client released while running stops its stream, as the audio engine does.
  ~AudioClient() override {
    bool was_started = false;
    {
      std::lock_guard<std::mutex> lock(stream_->mutex);
      was_started = std::exchange(stream_->started, false);
    }
    if (was_started) {
      stream_->device->NotifyRunning(false);
    }
  }

  HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE ShareMode,
                                       DWORD StreamFlags,
                                       REFERENCE_TIME hnsBufferDuration,
                                       REFERENCE_TIME hnsPeriodicity,
                                       const WAVEFORMATEX* pFormat,
                                       LPCGUID AudioSessionGuid) override {
    HRESULT hr = CheckFault("IAudioClient::Initialize").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = InitializeStream(ShareMode, StreamFlags, hnsBufferDuration, pFormat);
    }
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.initializations.push_back(testing::RecordedInitialize{
          ShareMode, StreamFlags, hnsBufferDuration, hnsPeriodicity,
          pFormat == nullptr ? std::vector<BYTE>() : FormatBytes(pFormat),
          AudioSessionGuid != nullptr, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* pNumBufferFrames) override {
    HALVEX_RETURN_IF_FAULT("IAudioClient::GetBufferSize");
    if (pNumBufferFrames == nullptr) {
      return E_POINTER;
    }
    std::lock_guard<std::mutex> lock(stream_->mutex);
    if (!stream_->initialized) {
      return AUDCLNT_E_NOT_INITIALIZED;
    }
    *pNumBufferFrames = static_cast<UINT32>(
        stream_->buffer_duration * SampleRateOf(stream_->device->Format()) / kUnitsPerSecond);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** ppDeviceFormat) override {
    if (ppDeviceFormat == nullptr) {
      return E_POINTER;
    }
    *ppDeviceFormat = nullptr;
    HALVEX_RETURN_IF_FAULT("IAudioClient::GetMixFormat");
    if (stream_->device->IsInvalidated()) {
      return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    const std::vector<BYTE>& format = stream_->device->Format();
    void* copy = CoTaskMemAlloc(format.size());
    if (copy == nullptr) {
      return E_OUTOFMEMORY;
    }
    std::memcpy(copy, format.data(), format.size());
    *ppDeviceFormat = static_cast<WAVEFORMATEX*>(copy);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Start() override {
    HRESULT hr = CheckFault("IAudioClient::Start").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(stream_->mutex);
      if (!stream_->initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
      } else if (stream_->device->IsInvalidated()) {
        hr = AUDCLNT_E_DEVICE_INVALIDATED;
      } else if (stream_->started) {
        hr = AUDCLNT_E_NOT_STOPPED;
      } else {
        stream_->started = true;
      }
    }
    if (hr == S_OK) {
      stream_->device->NotifyRunning(true);
    }
    RecordStreamCall(testing::StreamCall::kStart, hr);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Stop() override {
    HRESULT hr = CheckFault("IAudioClient::Stop").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      std::lock_guard<std::mutex> lock(stream_->mutex);
      if (!stream_->initialized) {
        hr = AUDCLNT_E_NOT_INITIALIZED;
      } else if (!stream_->started) {
        hr = S_FALSE;  // Already stopped.
      } else {
        stream_->started = false;
      }
    }
    if (hr == S_OK) {
      stream_->device->NotifyRunning(false);
    }
    RecordStreamCall(testing::StreamCall::kStop, hr);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Reset() override {
    HALVEX_RETURN_IF_FAULT("IAudioClient::Reset");
    std::lock_guard<std::mutex> lock(stream_->mutex);
    if (!stream_->initialized) {
      return AUDCLNT_E_NOT_INITIALIZED;
    }
    return stream_->started ? AUDCLNT_E_NOT_STOPPED : S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** ppv) override {
    if (ppv == nullptr) {
      return E_POINTER;
    }
    *ppv = nullptr;
    HALVEX_RETURN_IF_FAULT("IAudioClient::GetService");
    {
      std::lock_guard<std::mutex> lock(stream_->mutex);
      if (!stream_->initialized) {
        return AUDCLNT_E_NOT_INITIALIZED;
      }
      if (!IsEqualIID(riid, IID_IAudioCaptureClient)) {
        return E_NOINTERFACE;
      }
      // A playback device yields captured data only to a loopback stream.
      if ((stream_->stream_flags & AUDCLNT_STREAMFLAGS_LOOPBACK) == 0) {
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
      }
    }
    IAudioCaptureClient* capture = CreateCaptureClient(stream_);
    *ppv = capture;
    return capture == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  HRESULT InitializeStream(AUDCLNT_SHAREMODE share_mode,
                           DWORD flags,
                           REFERENCE_TIME buffer_duration,
                           const WAVEFORMATEX* format) {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    if (stream_->initialized) {
      return AUDCLNT_E_ALREADY_INITIALIZED;
    }
    if (stream_->device->IsInvalidated()) {
      return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    if (format == nullptr) {
      return E_POINTER;
    }
    if (share_mode == AUDCLNT_SHAREMODE_EXCLUSIVE) {
      return AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
    }
    if (share_mode != AUDCLNT_SHAREMODE_SHARED || buffer_duration < 0) {
      return E_INVALIDARG;
    }
    // A shared stream runs in the engine's mix format unless the caller asks for conversion.
    if ((flags & AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM) == 0 &&
        FormatBytes(format) != stream_->device->Format()) {
      return AUDCLNT_E_UNSUPPORTED_FORMAT;
    }
    stream_->initialized = true;
    stream_->stream_flags = flags;
    stream_->buffer_duration = buffer_duration;
    return S_OK;
  }

  static void RecordStreamCall(testing::StreamCall call, HRESULT hr) {
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.stream_calls.push_back(testing::RecordedStreamCall{call, hr});
    });
  }

  const std::shared_ptr<AudioStream> stream_;
};

}  // namespace

IAudioClient* CreateAudioClient(std::shared_ptr<DeviceScript> script) {
  return AudioClient::Create(std::move(script));
}

}  // namespace halvex::platform
