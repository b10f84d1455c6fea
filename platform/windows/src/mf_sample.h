// The stand-in's media sample (MFCreateSample).
#ifndef HALVEX_STANDIN_MF_SAMPLE_H_
#define HALVEX_STANDIN_MF_SAMPLE_H_

#include <mfobjects.h>

#include <mutex>
#include <optional>
#include <vector>

#include "com_ref.h"
#include "mf_attributes_object.h"
#include "mf_sink_writer_backend.h"

namespace halvex::platform {

// What a sink writer takes from a sample.
struct SampleContent {
  std::optional<LONGLONG> time;
  std::optional<LONGLONG> duration;
  DWORD length = 0;
  std::vector<BYTE> bytes;  // filled only when asked for
};

class Sample final : public AttributesObject<Sample, IMFSample> {
 public:
  HRESULT STDMETHODCALLTYPE GetSampleTime(LONGLONG* phnsSampleTime) override;
  HRESULT STDMETHODCALLTYPE SetSampleTime(LONGLONG hnsSampleTime) override;
  HRESULT STDMETHODCALLTYPE GetSampleDuration(LONGLONG* phnsSampleDuration) override;
  HRESULT STDMETHODCALLTYPE SetSampleDuration(LONGLONG hnsSampleDuration) override;
  HRESULT STDMETHODCALLTYPE GetBufferCount(DWORD* pdwBufferCount) override;
  HRESULT STDMETHODCALLTYPE GetBufferByIndex(DWORD dwIndex, IMFMediaBuffer** ppBuffer) override;
  HRESULT STDMETHODCALLTYPE AddBuffer(IMFMediaBuffer* pBuffer) override;
  HRESULT STDMETHODCALLTYPE RemoveAllBuffers() override;
  HRESULT STDMETHODCALLTYPE GetTotalLength(DWORD* pcbTotalLength) override;

  // The times and the buffers' current-length bytes, in buffer order.
  SampleContent Content(bool with_bytes) const;

  // The same for a writer's backend, without copying a single buffer's bytes: the result shares
  // the buffer. A sample without a time gives time 0.
  SampleData Data() const;

 private:
  mutable std::mutex mutex_;
  std::optional<LONGLONG> time_;
  std::optional<LONGLONG> duration_;
  std::vector<ComRef<IMFMediaBuffer>> buffers_;
};

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_SAMPLE_H_
