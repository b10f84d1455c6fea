// Stand-in for the Windows SDK's audio client (WASAPI): stream set-up and packet capture.
#ifndef HALVEX_STANDIN_AUDIOCLIENT_H_
#define HALVEX_STANDIN_AUDIOCLIENT_H_

#include "audiosessiontypes.h"
#include "guiddef.h"
#include "minwindef.h"
#include "mmreg.h"
#include "unknwn.h"
#include "winerror.h"

typedef LONGLONG REFERENCE_TIME;
typedef const GUID* LPCGUID;

#define AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY 0x1
#define AUDCLNT_BUFFERFLAGS_SILENT 0x2
#define AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR 0x4

#define AUDCLNT_E_NOT_INITIALIZED HALVEX_HRESULT(0x88890001UL)
#define AUDCLNT_E_ALREADY_INITIALIZED HALVEX_HRESULT(0x88890002UL)
#define AUDCLNT_E_WRONG_ENDPOINT_TYPE HALVEX_HRESULT(0x88890003UL)
#define AUDCLNT_E_DEVICE_INVALIDATED HALVEX_HRESULT(0x88890004UL)
#define AUDCLNT_E_NOT_STOPPED HALVEX_HRESULT(0x88890005UL)
#define AUDCLNT_E_BUFFER_TOO_LARGE HALVEX_HRESULT(0x88890006UL)
#define AUDCLNT_E_OUT_OF_ORDER HALVEX_HRESULT(0x88890007UL)
#define AUDCLNT_E_UNSUPPORTED_FORMAT HALVEX_HRESULT(0x88890008UL)
#define AUDCLNT_E_INVALID_SIZE HALVEX_HRESULT(0x88890009UL)
#define AUDCLNT_E_DEVICE_IN_USE HALVEX_HRESULT(0x8889000AUL)
#define AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED HALVEX_HRESULT(0x8889000EUL)
#define AUDCLNT_E_SERVICE_NOT_RUNNING HALVEX_HRESULT(0x88890010UL)
#define AUDCLNT_S_BUFFER_EMPTY HALVEX_HRESULT(0x08890001UL)

DEFINE_GUID(IID_IAudioClient,
            0x1cb9ad4c,
            0xdbfa,
            0x4c32,
            0xb1,
            0x78,
            0xc2,
            0xf5,
            0x68,
            0xa7,
            0x03,
            0xb2);
DEFINE_GUID(IID_IAudioCaptureClient,
            0xc8adbd64,
            0xe71e,
            0x48a0,
            0xa4,
            0xde,
            0x18,
            0x5c,
            0x39,
            0x5c,
            0xd3,
            0x17);

struct IAudioClient : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE ShareMode,
                                               DWORD StreamFlags,
                                               REFERENCE_TIME hnsBufferDuration,
                                               REFERENCE_TIME hnsPeriodicity,
                                               const WAVEFORMATEX* pFormat,
                                               LPCGUID AudioSessionGuid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32* pNumBufferFrames) = 0;
  // The format is allocated with CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
  virtual HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** ppDeviceFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetService(REFIID riid, void** ppv) = 0;
};
HALVEX_INTERFACE_IID(IAudioClient);

struct IAudioCaptureClient : public IUnknown {
  // Hands out the next packet; it stays held until ReleaseBuffer with its whole frame count (or 0,
  // which leaves it to be read again).
  virtual HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** ppData,
                                              UINT32* pNumFramesToRead,
                                              DWORD* pdwFlags,
                                              UINT64* pu64DevicePosition,
                                              UINT64* pu64QPCPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseBuffer(UINT32 NumFramesRead) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetNextPacketSize(UINT32* pNumFramesInNextPacket) = 0;
};
HALVEX_INTERFACE_IID(IAudioCaptureClient);

#endif  // HALVEX_STANDIN_AUDIOCLIENT_H_
