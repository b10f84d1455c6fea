// Wrapping bytes in a Media Foundation sample, shared by the video and the audio path.
#ifndef HALVEX_RECORDER_MEDIA_SAMPLE_H_
#define HALVEX_RECORDER_MEDIA_SAMPLE_H_

#include <windows.h>
#include <mfidl.h>

#include <cstdint>

#include "recorder/com_ptr.h"

namespace halvex {

// Writes a sample's `size` bytes in place; `context` is the caller's.
using SampleWriter = void (*)(const void* context, uint8_t* bytes, DWORD size);

// A sample holding one memory buffer of `size` bytes, written by `write` while the buffer is
// locked, stamped with `time` and `duration` (100-ns units); empty when any step fails, with
// everything made so far released. Writing in place spares a copy of the whole frame.
ComPtr<IMFSample> CreateMediaSample(DWORD size,
                                    int64_t time,
                                    int64_t duration,
                                    SampleWriter write,
                                    const void* context);

// The same with a copy of `size` bytes.
ComPtr<IMFSample> CreateMediaSample(const uint8_t* bytes,
                                    DWORD size,
                                    int64_t time,
                                    int64_t duration);

}  // namespace halvex

#endif  // HALVEX_RECORDER_MEDIA_SAMPLE_H_
