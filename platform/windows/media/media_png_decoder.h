// PNG decoding into 8-bit BGRA, the engine behind the imaging factory's PNG decoder.
#ifndef HALVEX_STANDIN_MEDIA_PNG_DECODER_H_
#define HALVEX_STANDIN_MEDIA_PNG_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace halvex::platform::media {

// The step at which decoding failed, matching the three calls a caller of the imaging interfaces
// makes: creating the decoder (signature and header), opening the frame (the chunks before the
// image data) and copying pixels (the image data itself).
enum class PngStage { kHeader, kFrame, kPixels };

enum class PngFailure {
  kNone,
  kNotPng,           // the signature is not a PNG signature
  kBadHeader,        // IHDR missing, malformed or with values PNG does not allow
  kTooLarge,         // the image or a chunk exceeds the limits the decoder was given
  kBadChunk,         // a chunk before the image data is malformed, e.g. a bad CRC or no palette
  kTruncated,        // the data ends before the image is complete
  kCorruptData,      // the compressed image data or its filters are invalid
  kInvalidArgument,  // the rectangle does not lie inside the image, or no buffer was given
  kBufferTooSmall,   // the stride or the buffer cannot hold the rectangle
  kOutOfMemory,
};

struct PngStatus {
  PngStage stage = PngStage::kHeader;
  PngFailure failure = PngFailure::kNone;
  int library_code = 0;  // the decoder library's own error, for diagnostics

  bool ok() const { return failure == PngFailure::kNone; }
};

struct PngLimits {
  // Upper bound of the decoded BGRA image (width × height × 4) and of any one chunk; the decoder
  // never allocates more than this for one image.
  std::uint64_t max_decoded_bytes = std::uint64_t{512} << 20;
};

// Same layout as the imaging interfaces' rectangle: origin and size in pixels.
struct PngRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// Decodes the first image of a PNG held in memory. The bytes are not copied: they must stay
// valid for the decoder's lifetime, as the memory behind an imaging stream does.
class PngDecoder {
 public:
  // Checks the signature and reads the header.
  static PngStatus Open(const std::uint8_t* data,
                        std::size_t size,
                        const PngLimits& limits,
                        std::unique_ptr<PngDecoder>* decoder);

  ~PngDecoder();
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;

  // Reads every chunk up to the image data, so that a damaged palette or transparency chunk
  // fails here rather than while pixels are copied.
  PngStatus OpenFrame();

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }

  // Decodes the pixels of `rect` (the whole image when null) into `buffer` as B, G, R, A bytes,
  // alpha not premultiplied, no gamma applied, one row every `stride` bytes. Every call decodes
  // afresh, so calls may come in any order. Rows below the rectangle are not decoded.
  PngStatus CopyPixels(const PngRect* rect,
                       std::uint32_t stride,
                       std::uint32_t buffer_size,
                       std::uint8_t* buffer) const;

 private:
  PngDecoder(const std::uint8_t* data,
             std::size_t size,
             const PngLimits& limits,
             std::uint32_t width,
             std::uint32_t height,
             bool interlaced);

  const std::uint8_t* data_;
  std::size_t size_;
  PngLimits limits_;
  std::uint32_t width_;
  std::uint32_t height_;
  bool interlaced_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PNG_DECODER_H_
