// Stand-in for the Windows SDK's COM base API: apartments, object creation and task memory.
#ifndef HALVEX_STANDIN_COMBASEAPI_H_
#define HALVEX_STANDIN_COMBASEAPI_H_

#include <type_traits>

#include "guiddef.h"
#include "minwindef.h"
#include "unknwn.h"
#include "winerror.h"

typedef enum tagCOINIT {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagCLSCTX {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
} CLSCTX;

#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
  (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
void WINAPI CoUninitialize();

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid,
                                LPUNKNOWN pUnkOuter,
                                DWORD dwClsContext,
                                REFIID riid,
                                LPVOID* ppv);

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void WINAPI CoTaskMemFree(LPVOID pv);

// The IID of the interface `ppType` points to, then `ppType` as the void** the call fills; the
// argument is evaluated once, and only a pointer to a COM interface compiles.
template <typename T>
void** IID_PPV_ARGS_Helper(T** pp) {
  (void)static_cast<IUnknown*>(*pp);
  return reinterpret_cast<void**>(pp);
}
#define IID_PPV_ARGS(ppType)                                                \
  HalvexInterfaceIid<std::remove_reference_t<decltype(**(ppType))>>::Get(), \
      IID_PPV_ARGS_Helper(ppType)

#endif  // HALVEX_STANDIN_COMBASEAPI_H_
