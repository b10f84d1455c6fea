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

// What the SDK's compilers give as __uuidof(Interface): each interface header names its interface's
// IID here, beside its declaration, so IID_PPV_ARGS can tie the IID to the pointer's type.
template <typename Interface>
struct HalvexInterfaceIid;

#define HALVEX_INTERFACE_IID(Interface)                 \
  template <>                                           \
  struct HalvexInterfaceIid<Interface> {                \
    static const IID& Get() { return IID_##Interface; } \
  }

HALVEX_INTERFACE_IID(IUnknown);

#endif  // HALVEX_STANDIN_UNKNWN_H_
