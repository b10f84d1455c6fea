#include "recorder/media_sample.h"

#include <mfapi.h>

#include <cstring>

namespace halvex {

ComPtr<IMFSample> CreateMediaSample(DWORD size,
                                    int64_t time,
                                    int64_t duration,
                                    SampleWriter write,
                                    const void* context) {
  ComPtr<IMFSample> sample;
  if (FAILED(MFCreateSample(sample.Put()))) {
    return ComPtr<IMFSample>();
  }
  {
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(MFCreateMemoryBuffer(size, buffer.Put()))) {
      return ComPtr<IMFSample>();
    }
    BYTE* destination = nullptr;
    if (FAILED(buffer->Lock(&destination, nullptr, nullptr))) {
      return ComPtr<IMFSample>();
    }
    write(context, destination, size);
    buffer->Unlock();
    // A buffer whose length or attachment failed would reach the file empty.
    if (FAILED(buffer->SetCurrentLength(size)) || FAILED(sample->AddBuffer(buffer.Get()))) {
      return ComPtr<IMFSample>();
    }
  }
  if (FAILED(sample->SetSampleTime(time)) || FAILED(sample->SetSampleDuration(duration))) {
    return ComPtr<IMFSample>();
  }
  return sample;
}

ComPtr<IMFSample> CreateMediaSample(const uint8_t* bytes,
                                    DWORD size,
                                    int64_t time,
                                    int64_t duration) {
  return CreateMediaSample(
      size, time, duration,
      [](const void* context, uint8_t* destination, DWORD length) {
        std::memcpy(destination, context, length);
      },
      bytes);
}

}  // namespace halvex
