// Decoding one PNG frame to the BGRA pixels the video sample path takes.
#ifndef HALVEX_RECORDER_FRAME_DECODING_H_
#define HALVEX_RECORDER_FRAME_DECODING_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace halvex {

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

  bool usable() const { return width > 0; }
  // Forgets the picture, keeping the memory for the next one.
  void Clear() {
    width = 0;
    height = 0;
  }
};

// Decodes the first frame of a PNG to BGRA (alpha not premultiplied), trimmed to an even size,
// into `frame`, reusing its memory where it fits. The frame stays unusable when the bytes are too
// few, do not start like a PNG, or do not decode. The calling thread has COM set up.
void DecodePngFrame(const uint8_t* data, uint64_t length, DecodedFrame* frame);

}  // namespace halvex

#endif  // HALVEX_RECORDER_FRAME_DECODING_H_
