// Stand-in for the Windows SDK's audio endpoint enumeration.
#ifndef HALVEX_STANDIN_MMDEVICEAPI_H_
#define HALVEX_STANDIN_MMDEVICEAPI_H_

#include "guiddef.h"
#include "minwindef.h"
#include "propidl.h"
#include "unknwn.h"
#include "winerror.h"
#include "wtypes.h"

typedef enum EDataFlow {
  eRender = 0,
  eCapture = 1,
  eAll = 2,
  EDataFlow_enum_count = 3,
} EDataFlow;

typedef enum ERole {
  eConsole = 0,
  eMultimedia = 1,
  eCommunications = 2,
  ERole_enum_count = 3,
} ERole;

#define DEVICE_STATE_ACTIVE 0x00000001
#define DEVICE_STATE_DISABLED 0x00000002
#define DEVICE_STATE_NOTPRESENT 0x00000004
#define DEVICE_STATE_UNPLUGGED 0x00000008

DEFINE_GUID(CLSID_MMDeviceEnumerator,
            0xbcde0395,
            0xe52f,
            0x467c,
            0x8e,
            0x3d,
            0xc4,
            0x57,
            0x92,
            0x91,
            0x69,
            0x2e);
DEFINE_GUID(IID_IMMDeviceEnumerator,
            0xa95664d2,
            0x9614,
            0x4f35,
            0xa7,
            0x46,
            0xde,
            0x8d,
            0xb6,
            0x36,
            0x17,
            0xe6);
DEFINE_GUID(IID_IMMDevice,
            0xd666063f,
            0x1587,
            0x4e43,
            0x81,
            0xf1,
            0xb9,
            0x48,
            0xe8,
            0x07,
            0x36,
            0x3f);

DEFINE_GUID(IID_IMMNotificationClient,
            0x7991eec9,
            0x7e89,
            0x4d85,
            0x83,
            0x90,
            0x6c,
            0x70,
            0x3c,
            0xec,
            0x60,
            0xc0);

// Implemented by the client and registered with the enumerator: the audio system calls it on a
// thread of its own when endpoints come, go or change roles. The methods must return quickly and
// must not wait for the thread that registered.
struct IMMNotificationClient : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR pwstrDeviceId,
                                                         DWORD dwNewState) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR pwstrDeviceId) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR pwstrDeviceId) = 0;
  // pwstrDefaultDeviceId is null when no device is left for the flow and role.
  virtual HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow,
                                                           ERole role,
                                                           LPCWSTR pwstrDefaultDeviceId) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR pwstrDeviceId,
                                                           const PROPERTYKEY key) = 0;
};
HALVEX_INTERFACE_IID(IMMNotificationClient);

struct IMMDevice : public IUnknown {
  // Creates an object of interface iid on the device (the product asks for IID_IAudioClient).
  virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid,
                                             DWORD dwClsCtx,
                                             PROPVARIANT* pActivationParams,
                                             void** ppInterface) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) = 0;
};
HALVEX_INTERFACE_IID(IMMDevice);

struct IMMDeviceEnumerator : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow,
                                                            ERole role,
                                                            IMMDevice** ppEndpoint) = 0;
  // The enumerator holds a reference to a registered client until it is unregistered.
  virtual HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient* pClient) = 0;
};
HALVEX_INTERFACE_IID(IMMDeviceEnumerator);

#endif  // HALVEX_STANDIN_MMDEVICEAPI_H_
