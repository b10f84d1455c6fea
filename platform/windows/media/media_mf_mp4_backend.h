// The sink writer stand-in's file writer: MP4 files with H.264 and AAC, for URLs whose extension
// names that container.
#ifndef HALVEX_STANDIN_MEDIA_MF_MP4_BACKEND_H_
#define HALVEX_STANDIN_MEDIA_MF_MP4_BACKEND_H_

#include "mf_sink_writer_backend.h"

namespace halvex::platform {

// Makes the backend for `url`: MF_E_UNSUPPORTED_BYTESTREAM_TYPE for a container other than MP4,
// the path's own failure (folder missing, access denied) when the file cannot be created.
HRESULT MakeMp4SinkWriterBackend(const std::wstring& url,
                                 const testing::AttributeList* attributes,
                                 std::unique_ptr<SinkWriterBackend>* backend);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MEDIA_MF_MP4_BACKEND_H_
