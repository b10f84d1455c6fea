#include <cstring>
#include <memory>
#include <new>

#include "recorder/desktop_recorder.h"
#include "recorder/media_sample.h"
#include "recorder/nv12.h"
#include "recorder/scale.h"

namespace halvex {
namespace {

struct Nv12Source {
  const uint8_t* pixels;
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  int32_t pitch;
};

// Converts straight into the media buffer, whose bytes beyond the width it sets to zero: a
// buffer fresh from the platform holds whatever it held.
void WriteNv12(const void* context, uint8_t* bytes, DWORD /*size*/) {
  const Nv12Source& frame = *static_cast<const Nv12Source*>(context);
  ConvertBgraToNv12(frame.pixels, frame.rowBytes, frame.width, frame.height, frame.pitch, bytes);
  const size_t padding = static_cast<size_t>(frame.pitch - frame.width);
  if (padding == 0) {
    return;
  }
  const int32_t rows = frame.height + (frame.height + 1) / 2;
  for (int32_t row = 0; row < rows; ++row) {
    std::memset(bytes + static_cast<size_t>(row) * frame.pitch + frame.width, 0, padding);
  }
}

}  // namespace

bool DesktopRecorder::WriteVideoFrame(const uint8_t* pixels,
                                      int32_t rowBytes,
                                      int32_t width,
                                      int32_t height) {
  const int32_t pitch = static_cast<int32_t>(rowPitch);
  if (!sinkWriter || videoWidth < 2 || videoHeight < 2 || pitch < videoWidth || pixels == nullptr ||
      width < 1 || height < 1) {
    return false;
  }

  // Every frame takes the first frame's size, whatever its own. The scaled copy is written in full,
  // so it is not zero-filled first.
  std::unique_ptr<uint8_t[]> scaled;
  if (width != videoWidth || height != videoHeight) {
    scaled.reset(
        new (std::nothrow)
            uint8_t[static_cast<size_t>(videoWidth) * static_cast<size_t>(videoHeight) * 4]);
    if (!scaled) {
      return false;
    }
    ScaleNearest(pixels, rowBytes, width, height, scaled.get(), videoWidth, videoHeight);
    pixels = scaled.get();
    rowBytes = 4 * videoWidth;
  }

  const Nv12Source frame = {pixels, rowBytes, videoWidth, videoHeight, pitch};
  ComPtr<IMFSample> sample =
      CreateMediaSample(static_cast<DWORD>(Nv12Size(pitch, videoHeight)),
                        frameDuration * videoFrameIndex, frameDuration, WriteNv12, &frame);
  if (!sample || FAILED(sinkWriter->WriteSample(videoStreamIndex, sample.Get()))) {
    return false;
  }
  ++videoFrameIndex;
  ++framesWritten;
  return true;
}

}  // namespace halvex
