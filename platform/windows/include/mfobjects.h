// Stand-in for the Windows SDK's Media Foundation object interfaces: attribute stores, media types,
// media buffers and samples.
#ifndef HALVEX_STANDIN_MFOBJECTS_H_
#define HALVEX_STANDIN_MFOBJECTS_H_

#include "guiddef.h"
#include "minwindef.h"
#include "unknwn.h"
#include "winerror.h"

typedef LONGLONG MFTIME;

typedef enum MF_ATTRIBUTE_TYPE {
  MF_ATTRIBUTE_UINT32 = 19,    // VT_UI4
  MF_ATTRIBUTE_UINT64 = 21,    // VT_UI8
  MF_ATTRIBUTE_DOUBLE = 5,     // VT_R8
  MF_ATTRIBUTE_GUID = 72,      // VT_CLSID
  MF_ATTRIBUTE_STRING = 31,    // VT_LPWSTR
  MF_ATTRIBUTE_BLOB = 0x1011,  // VT_VECTOR | VT_UI1
  MF_ATTRIBUTE_IUNKNOWN = 13,  // VT_UNKNOWN
} MF_ATTRIBUTE_TYPE;

DEFINE_GUID(IID_IMFAttributes,
            0x2cd2d921,
            0xc447,
            0x44a7,
            0xa1,
            0x3c,
            0x4a,
            0xda,
            0xbf,
            0xc2,
            0x47,
            0xe3);
DEFINE_GUID(IID_IMFMediaType,
            0x44ae0fa8,
            0xea31,
            0x4109,
            0x8d,
            0x2e,
            0x4c,
            0xae,
            0x49,
            0x97,
            0xc5,
            0x55);
DEFINE_GUID(IID_IMFMediaBuffer,
            0x045fa593,
            0x8799,
            0x42b8,
            0xbc,
            0x8d,
            0x89,
            0x68,
            0xc6,
            0x45,
            0x35,
            0x07);
DEFINE_GUID(IID_IMFSample,
            0xc40a00f2,
            0xb93a,
            0x4d80,
            0xae,
            0x8c,
            0x5a,
            0x1c,
            0x63,
            0x4f,
            0x58,
            0xe4);

// A store of (GUID key, typed value) items. Items keep the order in which their keys were first
// set.
struct IMFAttributes : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetItemType(REFGUID guidKey, MF_ATTRIBUTE_TYPE* pType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUINT32(REFGUID guidKey, UINT32* punValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUINT64(REFGUID guidKey, UINT64* punValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDouble(REFGUID guidKey, double* pfValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGUID(REFGUID guidKey, GUID* pguidValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStringLength(REFGUID guidKey, UINT32* pcchLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetString(REFGUID guidKey,
                                              LPWSTR pwszValue,
                                              UINT32 cchBufSize,
                                              UINT32* pcchLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID guidKey,
                                                       LPWSTR* ppwszValue,
                                                       UINT32* pcchLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBlobSize(REFGUID guidKey, UINT32* pcbBlobSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBlob(REFGUID guidKey,
                                            UINT8* pBuf,
                                            UINT32 cbBufSize,
                                            UINT32* pcbBlobSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteItem(REFGUID guidKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeleteAllItems() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUINT32(REFGUID guidKey, UINT32 unValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetUINT64(REFGUID guidKey, UINT64 unValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDouble(REFGUID guidKey, double fValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID guidKey, REFGUID guidValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetString(REFGUID guidKey, LPCWSTR wszValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBlob(REFGUID guidKey,
                                            const UINT8* pBuf,
                                            UINT32 cbBufSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(UINT32* pcItems) = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyAllItems(IMFAttributes* pDest) = 0;
};
HALVEX_INTERFACE_IID(IMFAttributes);

struct IMFMediaType : public IMFAttributes {
  virtual HRESULT STDMETHODCALLTYPE GetMajorType(GUID* pguidMajorType) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) = 0;
};
HALVEX_INTERFACE_IID(IMFMediaType);

struct IMFMediaBuffer : public IUnknown {
  // Gives a pointer to the whole buffer (its maximum length), writable until Unlock.
  virtual HRESULT STDMETHODCALLTYPE Lock(BYTE** ppbBuffer,
                                         DWORD* pcbMaxLength,
                                         DWORD* pcbCurrentLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD* pcbCurrentLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD cbCurrentLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pcbMaxLength) = 0;
};
HALVEX_INTERFACE_IID(IMFMediaBuffer);

struct IMFSample : public IMFAttributes {
  virtual HRESULT STDMETHODCALLTYPE GetSampleTime(LONGLONG* phnsSampleTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSampleTime(LONGLONG hnsSampleTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSampleDuration(LONGLONG* phnsSampleDuration) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSampleDuration(LONGLONG hnsSampleDuration) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBufferCount(DWORD* pdwBufferCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBufferByIndex(DWORD dwIndex, IMFMediaBuffer** ppBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddBuffer(IMFMediaBuffer* pBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveAllBuffers() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTotalLength(DWORD* pcbTotalLength) = 0;
};
HALVEX_INTERFACE_IID(IMFSample);

#endif  // HALVEX_STANDIN_MFOBJECTS_H_
