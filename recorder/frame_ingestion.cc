#include <wincodec.h>

#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <utility>

#include "recorder/capture_clock.h"
#include "recorder/desktop_recorder.h"

namespace halvex {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 0x50, 0x4E, 0x47};
constexpr uint64_t kMinPngLength = 8;
constexpr int32_t kAudioStartFrames = 3;

// Largest decoded frame taken: 8192 × 8192 pixels, 256 MiB as BGRA. A PNG may declare any size
// up to 2^31 − 1 on each side; anything above this is dropped instead of failing an allocation.
constexpr uint64_t kMaxFramePixels = 8192ull * 8192ull;
// Pixel memory of up to a 3840 × 2160 frame is kept between frames; a larger frame's is freed.
constexpr size_t kMaxKeptPixelBytes = size_t{3840} * 2160 * 4;

struct DecodedFrame {
  int32_t width = 0;   // even; 0 when the frame is unusable
  int32_t height = 0;  // even
  // BGRA rows of 4 × width bytes. Memory of an earlier frame is used again when it fits: a fresh
  // block of frame size costs the operating system a page fault per page. Never zero-filled: the
  // decoder's copy writes every byte, and a failed copy drops the frame.
  std::unique_ptr<uint8_t[]> pixels;
  size_t capacity = 0;
};

// Makes `frame` hold `bytes` bytes, keeping what it has unless that is too small or much larger.
bool ReservePixels(DecodedFrame* frame, size_t bytes) {
  if (frame->pixels && frame->capacity >= bytes && frame->capacity / 2 <= bytes) {
    return true;
  }
  frame->pixels.reset();
  frame->capacity = 0;
  frame->pixels.reset(new (std::nothrow) uint8_t[bytes]);
  if (!frame->pixels) {
    return false;
  }
  frame->capacity = bytes;
  return true;
}

// Decodes the first frame of a PNG to BGRA (alpha not premultiplied), trimmed to an even size,
// into `frame`, whose size stays 0 on failure. Each imaging object is released before returning,
// the last one made first.
void DecodePng(const uint8_t* data, uint64_t length, DecodedFrame* frame) {
  if (length > UINT32_MAX) {
    return;
  }
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.PutVoid()))) {
    return;
  }
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.Put()))) {
    return;
  }
  if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(length)))) {
    return;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                              decoder.Put()))) {
    return;
  }
  ComPtr<IWICBitmapFrameDecode> firstFrame;
  if (FAILED(decoder->GetFrame(0, firstFrame.Put()))) {
    return;
  }
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Put()))) {
    return;
  }
  if (FAILED(converter->Initialize(firstFrame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return;
  }
  UINT width = 0;
  UINT height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width < 2 || height < 2) {
    return;
  }
  const UINT evenWidth = width & ~1u;
  const UINT evenHeight = height & ~1u;
  if (static_cast<uint64_t>(evenWidth) * evenHeight > kMaxFramePixels) {
    return;
  }
  const UINT stride = 4 * evenWidth;
  const UINT bufferSize = stride * evenHeight;
  if (!ReservePixels(frame, bufferSize)) {
    return;
  }
  const WICRect region = {0, 0, static_cast<INT>(evenWidth), static_cast<INT>(evenHeight)};
  if (FAILED(converter->CopyPixels(&region, stride, bufferSize, frame->pixels.get()))) {
    return;
  }
  frame->width = static_cast<int32_t>(evenWidth);
  frame->height = static_cast<int32_t>(evenHeight);
}

}  // namespace

int32_t DesktopRecorder::AppendPng(const uint8_t* data, uint64_t length, bool* hasAudio) {
  EnsureComInitialized();
  // The frame shows the moment its call came (or later, if the call was late).
  const int64_t arrivalTime = CaptureClockNow();

  DecodedFrame frame;
  std::unique_lock<std::mutex> lock(mutex);
  if (recordingActive && data != nullptr && length >= kMinPngLength) {
    // The pixel memory goes with the call while the lock is free, so a call on another thread
    // never shares it.
    frame.pixels = std::move(spareFramePixels);
    frame.capacity = spareFrameBytes;
    spareFrameBytes = 0;
    lock.unlock();
    // Only the start of the signature is checked; the decoder judges the rest of the file.
    if (std::memcmp(data, kPngSignature, sizeof(kPngSignature)) == 0) {
      DecodePng(data, length, &frame);
    }
    lock.lock();

    // The recording may have been stopped or restarted while the lock was free.
    if (recordingActive && frame.width > 0) {
      bool writerOpen = static_cast<bool>(sinkWriter);
      if (!writerOpen) {
        writerOpen = (audioEnabled && OpenSinkWriter(frame.width, frame.height, true)) ||
                     OpenSinkWriter(frame.width, frame.height, false);
      }
      if (writerOpen) {
        if (WriteVideoFrame(frame.pixels.get(), 4 * frame.width, frame.width, frame.height)) {
          const int64_t start = arrivalTime - (videoFrameIndex - 1) * frameDuration;
          if (videoFrameIndex == 1 || start < videoStartTime) {
            videoStartTime = start;
          }
        }
        if (audioEnabled && !audioThreadStarted && audioStreamPresent &&
            framesWritten >= kAudioStartFrames) {
          StartAudioCapture();
        }
      }
    }
  }
  if (hasAudio != nullptr) {
    *hasAudio = audibleAudioWritten;
  }
  // Only a running recording keeps them: "stop" frees them, and a call that overlapped it must
  // not bring them back.
  if (recordingActive && frame.pixels && !spareFramePixels &&
      frame.capacity <= kMaxKeptPixelBytes) {
    spareFramePixels = std::move(frame.pixels);
    spareFrameBytes = frame.capacity;
  }
  return framesWritten;
}

void DesktopRecorder::StartAudioCapture() {
  audioThreadStarted = true;
  audioStopFlag = false;
  try {
    audioThread = std::make_unique<std::thread>();
    *audioThread = std::thread([this] {
      // Nothing may leave a thread body; a failure only ends the capture.
      try {
        AudioCaptureLoop();
      } catch (const std::exception&) {
      }
    });
  } catch (const std::exception&) {
    // The recording carries on with video only; the thread is not tried again in it.
    audioStopFlag = true;
  }
}

}  // namespace halvex
