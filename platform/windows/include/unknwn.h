// Stand-in for the Windows SDK's IUnknown, the root of every COM interface.
#ifndef HALVEX_STANDIN_UNKNWN_H_
#define HALVEX_STANDIN_UNKNWN_H_

#include "guiddef.h"
#include "minwindef.h"
#include "winerror.h"

#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif
#ifndef STDMETHODIMP
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#endif

DEFINE_GUID(IID_IUnknown,
            0x00000000,
            0x0000,
            0x0000,
            0xc0,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            0x00,
            0x46);

// Nothing here depends on the vtable layout of the real ABI, so the destructor is virtual: it keeps
// -Wnon-virtual-dtor quiet and lets the stand-in's objects destroy themselves through any base.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

typedef IUnknown* LPUNKNOWN;

#endif  // HALVEX_STANDIN_UNKNWN_H_
