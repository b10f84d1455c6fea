#include <combaseapi.h>
#include <mmdeviceapi.h>
#include <wincodec.h>

#include "com_apartment.h"
#include "com_ref.h"
#include "fault_injection.h"
#include "wasapi_device_enumerator.h"
#include "wic_imaging_factory.h"

namespace {

using halvex::platform::ComRef;

// The classes the stand-in serves, all as in-process servers.
ComRef<IUnknown> CreateClassObject(REFCLSID rclsid) {
  if (IsEqualCLSID(rclsid, CLSID_WICImagingFactory2) ||
      IsEqualCLSID(rclsid, CLSID_WICImagingFactory)) {
    return ComRef<IUnknown>::Adopt(halvex::platform::CreateImagingFactory());
  }
  if (IsEqualCLSID(rclsid, CLSID_MMDeviceEnumerator)) {
    return ComRef<IUnknown>::Adopt(halvex::platform::CreateDeviceEnumerator());
  }
  return {};
}

bool IsServedClass(REFCLSID rclsid) {
  return IsEqualCLSID(rclsid, CLSID_WICImagingFactory2) ||
         IsEqualCLSID(rclsid, CLSID_WICImagingFactory) ||
         IsEqualCLSID(rclsid, CLSID_MMDeviceEnumerator);
}

}  // namespace

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid,
                                LPUNKNOWN pUnkOuter,
                                DWORD dwClsContext,
                                REFIID riid,
                                LPVOID* ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  HALVEX_RETURN_IF_FAULT("CoCreateInstance");
  if (!halvex::platform::IsComInitializedOnCurrentThread()) {
    return CO_E_NOTINITIALIZED;
  }
  if (pUnkOuter != nullptr) {
    return CLASS_E_NOAGGREGATION;
  }
  if (!IsServedClass(rclsid) || (dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
    return REGDB_E_CLASSNOTREG;
  }
  ComRef<IUnknown> object = CreateClassObject(rclsid);
  if (!object) {
    return E_OUTOFMEMORY;
  }
  return object->QueryInterface(riid, ppv);
}
