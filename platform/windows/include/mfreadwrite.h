// Stand-in for the Windows SDK's Media Foundation sink writer.
#ifndef HALVEX_STANDIN_MFREADWRITE_H_
#define HALVEX_STANDIN_MFREADWRITE_H_

#include "guiddef.h"
#include "mfidl.h"
#include "mfobjects.h"
#include "minwindef.h"
#include "winerror.h"

DEFINE_GUID(IID_IMFSinkWriter,
            0x3137f1cd,
            0xfe5e,
            0x4805,
            0xa5,
            0xd8,
            0xfb,
            0x47,
            0x74,
            0x48,
            0xcb,
            0x3d);

DEFINE_GUID(MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS,
            0xa634a91c,
            0x822b,
            0x41b9,
            0xa4,
            0x94,
            0x4d,
            0xe4,
            0x64,
            0x36,
            0x12,
            0xb0);
DEFINE_GUID(MF_SINK_WRITER_DISABLE_THROTTLING,
            0x08b845d8,
            0x2b74,
            0x4afe,
            0x9d,
            0x53,
            0xbe,
            0x16,
            0xd2,
            0xd5,
            0xae,
            0x4f);

#define MF_SINK_WRITER_INVALID_STREAM_INDEX 0xFFFFFFFF
#define MF_SINK_WRITER_ALL_STREAMS 0xFFFFFFFE
#define MF_SINK_WRITER_MEDIASINK 0xFFFFFFFF

struct IMFSinkWriter : public IUnknown {
  // Declares an output stream of the file; its index comes back through pdwStreamIndex.
  virtual HRESULT STDMETHODCALLTYPE AddStream(IMFMediaType* pTargetMediaType,
                                              DWORD* pdwStreamIndex) = 0;
  // Declares what the caller will hand to the stream; the writer puts an encoder in between.
  virtual HRESULT STDMETHODCALLTYPE SetInputMediaType(DWORD dwStreamIndex,
                                                      IMFMediaType* pInputMediaType,
                                                      IMFAttributes* pEncodingParameters) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginWriting() = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteSample(DWORD dwStreamIndex, IMFSample* pSample) = 0;
  virtual HRESULT STDMETHODCALLTYPE Finalize() = 0;
};
HALVEX_INTERFACE_IID(IMFSinkWriter);

HRESULT WINAPI MFCreateSinkWriterFromURL(LPCWSTR pwszOutputURL,
                                         IMFByteStream* pByteStream,
                                         IMFAttributes* pAttributes,
                                         IMFSinkWriter** ppSinkWriter);

#endif  // HALVEX_STANDIN_MFREADWRITE_H_
