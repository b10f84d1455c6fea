// Stand-in for the Windows SDK's core stream interfaces, as far as the imaging stand-in needs them.
#ifndef HALVEX_STANDIN_OBJIDL_H_
#define HALVEX_STANDIN_OBJIDL_H_

#include "guiddef.h"
#include "minwindef.h"
#include "unknwn.h"
#include "winerror.h"

DEFINE_GUID(IID_ISequentialStream,
            0x0c733a30,
            0x2a1c,
            0x11ce,
            0xad,
            0xe5,
            0x00,
            0xaa,
            0x00,
            0x44,
            0x77,
            0x3d);
DEFINE_GUID(IID_IStream,
            0x0000000c,
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

struct ISequentialStream : public IUnknown {
  // Reads up to cb bytes from the current position; S_FALSE when fewer were available.
  virtual HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};
HALVEX_INTERFACE_IID(ISequentialStream);

struct IStream : public ISequentialStream {};
HALVEX_INTERFACE_IID(IStream);

#endif  // HALVEX_STANDIN_OBJIDL_H_
