// The stand-in's memory buffer (MFCreateMemoryBuffer).
#ifndef HALVEX_STANDIN_MF_MEDIA_BUFFER_H_
#define HALVEX_STANDIN_MF_MEDIA_BUFFER_H_

#include <mfobjects.h>

#include <memory>
#include <mutex>
#include <vector>

#include "com_object.h"

namespace halvex::platform {

class MediaBuffer final : public ComObject<MediaBuffer, IMFMediaBuffer> {
 public:
  // The largest buffer the stand-in allocates; larger requests fail with E_OUTOFMEMORY rather
  // than let a bad length exhaust the process.
  static constexpr DWORD kMaxLength = 512u << 20;

  MediaBuffer(std::unique_ptr<BYTE[]> data, DWORD max_length);

  HRESULT STDMETHODCALLTYPE Lock(BYTE** ppbBuffer,
                                 DWORD* pcbMaxLength,
                                 DWORD* pcbCurrentLength) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;
  HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD* pcbCurrentLength) override;
  HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD cbCurrentLength) override;
  HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* pcbMaxLength) override;

  // Appends the first current-length bytes to `out`, for the stand-in's own readers.
  void AppendCurrentBytes(std::vector<BYTE>* out) const;
  // The buffer's memory, which stays in place for the buffer's lifetime.
  const BYTE* Data() const { return data_.get(); }
  DWORD CurrentLength() const;

 private:
  mutable std::mutex mutex_;
  std::unique_ptr<BYTE[]> data_;
  DWORD max_length_;
  DWORD current_length_ = 0;
  int lock_count_ = 0;
};

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_MEDIA_BUFFER_H_
