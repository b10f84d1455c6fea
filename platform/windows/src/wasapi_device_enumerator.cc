// IMMDeviceEnumerator and IMMDevice over the scripted default playback device.
#include "wasapi_device_enumerator.h"

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <utility>

#include "com_object.h"
#include "fault_injection.h"
#include "wasapi_audio_stream.h"
#include "wasapi_device_script.h"

namespace halvex::platform {
namespace {

class DeviceEnumerator final : public ComObject<DeviceEnumerator, IMMDeviceEnumerator> {
 public:
  HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow,
                                                    ERole role,
                                                    IMMDevice** ppEndpoint) override {
    if (ppEndpoint == nullptr) {
      return E_POINTER;
    }
    *ppEndpoint = nullptr;
    HRESULT hr = CheckFault("IMMDeviceEnumerator::GetDefaultAudioEndpoint").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = FindEndpoint(dataFlow, role, ppEndpoint);
    }
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.endpoint_requests.push_back(testing::RecordedEndpointRequest{dataFlow, role, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) override {
    HRESULT hr =
        CheckFault("IMMDeviceEnumerator::RegisterEndpointNotificationCallback").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = RegisterNotificationClient(pClient);
    }
    RecordNotificationCall(testing::NotificationCall::kRegister, hr);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) override {
    HRESULT hr =
        CheckFault("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = UnregisterNotificationClient(pClient);
    }
    RecordNotificationCall(testing::NotificationCall::kUnregister, hr);
    return hr;
  }

 private:
  static void RecordNotificationCall(testing::NotificationCall call, HRESULT hr) {
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.notification_calls.push_back(testing::RecordedNotificationCall{call, hr});
    });
  }

  static HRESULT FindEndpoint(EDataFlow flow, ERole role, IMMDevice** endpoint) {
    if (flow < eRender || flow >= eAll || role < eConsole || role >= ERole_enum_count) {
      return E_INVALIDARG;
    }
    // Only a playback device can be scripted; every role maps to it.
    std::shared_ptr<DeviceScript> device = DefaultDevice();
    if (flow != eRender || !device) {
      return E_NOTFOUND;
    }
    *endpoint = CreateAudioDevice(std::move(device));
    return *endpoint == nullptr ? E_OUTOFMEMORY : S_OK;
  }
};

class AudioDevice final : public ComObject<AudioDevice, IMMDevice> {
 public:
  explicit AudioDevice(std::shared_ptr<DeviceScript> script) : script_(std::move(script)) {}

  HRESULT STDMETHODCALLTYPE Activate(REFIID iid,
                                     DWORD dwClsCtx,
                                     PROPVARIANT* pActivationParams,
                                     void** ppInterface) override {
    if (ppInterface == nullptr) {
      return E_POINTER;
    }
    *ppInterface = nullptr;
    HRESULT hr = CheckFault("IMMDevice::Activate").value_or(S_OK);
    if (SUCCEEDED(hr)) {
      hr = ActivateInterface(iid, ppInterface);
    }
    RecordAudioCall([&](testing::AudioCalls& calls) {
      calls.activations.push_back(
          testing::RecordedActivation{iid, dwClsCtx, pActivationParams != nullptr, hr});
    });
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) override {
    HALVEX_RETURN_IF_FAULT("IMMDevice::GetState");
    if (pdwState == nullptr) {
      return E_POINTER;
    }
    *pdwState = script_->IsInvalidated() ? DEVICE_STATE_NOTPRESENT : DEVICE_STATE_ACTIVE;
    return S_OK;
  }

 private:
  HRESULT ActivateInterface(REFIID iid, void** object) {
    if (script_->IsInvalidated()) {
      return AUDCLNT_E_DEVICE_INVALIDATED;
    }
    if (!IsEqualIID(iid, IID_IAudioClient)) {
      return E_NOINTERFACE;
    }
    IAudioClient* client = CreateAudioClient(script_);
    *object = client;
    return client == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  const std::shared_ptr<DeviceScript> script_;
};

}  // namespace

IUnknown* CreateDeviceEnumerator() {
  return static_cast<IMMDeviceEnumerator*>(DeviceEnumerator::Create());
}

IMMDevice* CreateAudioDevice(std::shared_ptr<DeviceScript> script) {
  return AudioDevice::Create(std::move(script));
}

}  // namespace halvex::platform
