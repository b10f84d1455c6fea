// Stand-in for the Windows SDK's audio endpoint enumeration.
#ifndef HALVEX_STANDIN_MMDEVICEAPI_H_
#define HALVEX_STANDIN_MMDEVICEAPI_H_

#include "guiddef.h"
#include "minwindef.h"
#include "propidl.h"
#include "unknwn.h"
#include "winerror.h"

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

struct IMMDevice : public IUnknown {
  // Creates an object of interface iid on the device (the product asks for IID_IAudioClient).
  virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid,
                                             DWORD dwClsCtx,
                                             PROPVARIANT* pActivationParams,
                                             void** ppInterface) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD* pdwState) = 0;
};

struct IMMDeviceEnumerator : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow dataFlow,
                                                            ERole role,
                                                            IMMDevice** ppEndpoint) = 0;
};

#endif  // HALVEX_STANDIN_MMDEVICEAPI_H_
