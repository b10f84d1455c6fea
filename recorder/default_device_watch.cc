#include "recorder/default_device_watch.h"

#include <atomic>
#include <new>

namespace halvex {

// The notification client: the audio system calls it on a thread of its own, so it only raises a
// flag for the capture thread to see.
class DefaultDeviceWatch::Client final : public IMMNotificationClient {
 public:
  bool TakeChange() { return changed_.exchange(false); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) {
      return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMMNotificationClient)) {
      *ppvObject = static_cast<IMMNotificationClient*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) {
      delete this;
    }
    return remaining;
  }

  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow,
                                                   ERole role,
                                                   LPCWSTR /*pwstrDefaultDeviceId*/) override {
    // The system reports each role of a change on its own; capture follows the console role.
    if (flow == eRender && role == eConsole) {
      changed_ = true;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR /*pwstrDeviceId*/,
                                                 DWORD /*dwNewState*/) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR /*pwstrDeviceId*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR /*pwstrDeviceId*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR /*pwstrDeviceId*/,
                                                   const PROPERTYKEY /*key*/) override {
    return S_OK;
  }

 private:
  ~Client() = default;

  std::atomic<ULONG> references_{1};
  std::atomic<bool> changed_{false};
};

DefaultDeviceWatch::DefaultDeviceWatch(IMMDeviceEnumerator* enumerator) : enumerator_(enumerator) {
  client_.Reset(new (std::nothrow) Client());
  if (client_ && enumerator_ != nullptr) {
    registered_ = SUCCEEDED(enumerator_->RegisterEndpointNotificationCallback(client_.Get()));
  }
}

DefaultDeviceWatch::~DefaultDeviceWatch() {
  if (registered_) {
    enumerator_->UnregisterEndpointNotificationCallback(client_.Get());
  }
}

bool DefaultDeviceWatch::TakeChange() {
  return client_ && client_->TakeChange();
}

}  // namespace halvex
