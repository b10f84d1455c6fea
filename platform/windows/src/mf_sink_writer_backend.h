// What happens to the samples a sink writer accepts. The writer object validates every call and
// keeps the record tests inspect; a backend, when one is installed, turns the accepted calls into
// a media file. Without one, the writer only records.
#ifndef HALVEX_STANDIN_MF_SINK_WRITER_BACKEND_H_
#define HALVEX_STANDIN_MF_SINK_WRITER_BACKEND_H_

#include <minwindef.h>
#include <winerror.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "windows_testing/media_foundation.h"

namespace halvex::platform {

// One sample as the writer hands it to its backend.
struct SampleData {
  LONGLONG time = 0;
  std::optional<LONGLONG> duration;  // empty when the sample had none
  const BYTE* data = nullptr;        // the buffers' current-length bytes, in buffer order
  std::size_t size = 0;
  // Keeps `data` alive while the backend holds on to it: the sample's own buffer when it has one
  // (no copy is made), a joined copy otherwise.
  std::shared_ptr<const void> owner;
};

// Each call is made only after the writer has accepted it; a failed HRESULT is passed on to the
// caller and the call is then not recorded.
class SinkWriterBackend {
 public:
  virtual ~SinkWriterBackend() = default;
  virtual HRESULT AddStream(DWORD stream_index, const testing::AttributeList& output_type) = 0;
  // `encoding_parameters` is null when none were given.
  virtual HRESULT SetInputType(DWORD stream_index,
                               const testing::AttributeList& input_type,
                               const testing::AttributeList* encoding_parameters) = 0;
  virtual HRESULT BeginWriting() = 0;
  virtual HRESULT WriteSample(DWORD stream_index, const SampleData& sample) = 0;
  virtual HRESULT Finalize() = 0;
};

// Makes the backend of a writer created on `url` with `attributes` (null: none given). Returns a
// failure to make writer creation fail, or S_OK with an empty backend to only record.
using SinkWriterBackendFactory =
    std::function<HRESULT(const std::wstring& url,
                          const testing::AttributeList* attributes,
                          std::unique_ptr<SinkWriterBackend>* backend)>;

// Installs the factory used by every later MFCreateSinkWriterFromURL; an empty one makes writers
// that only record. A process starts with the empty one until the media library registers its MP4
// file writer (real_media_backends.h); testing::ResetMediaFoundation() installs the empty one.
void SetSinkWriterBackendFactory(SinkWriterBackendFactory factory);

// Makes the backend for a new writer with the installed factory.
HRESULT MakeSinkWriterBackend(const std::wstring& url,
                              const testing::AttributeList* attributes,
                              std::unique_ptr<SinkWriterBackend>* backend);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_SINK_WRITER_BACKEND_H_
