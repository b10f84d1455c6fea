#include "media_png_decoder.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace halvex::platform::media {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint64_t kBytesPerPixel = 4;

struct SpngContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;

PngStatus Failed(PngStage stage, PngFailure failure, int library_code = 0) {
  PngStatus status;
  status.stage = stage;
  status.failure = failure;
  status.library_code = library_code;
  return status;
}

PngStatus Succeeded(PngStage stage) {
  PngStatus status;
  status.stage = stage;
  return status;
}

// The header chunk's checksum. The library checks it only once it reads the chunk after it, but
// a damaged header must fail where the header is read.
bool HeaderChecksumMatches(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kTypeOffset = 12;
  constexpr std::size_t kTypeAndData = 4 + 13;
  if (size < kTypeOffset + kTypeAndData + 4) {
    return true;  // too short: the library reports the truncation
  }
  const std::uint8_t* stored = data + kTypeOffset + kTypeAndData;
  const std::uint32_t expected = std::uint32_t{stored[0]} << 24 | std::uint32_t{stored[1]} << 16 |
                                 std::uint32_t{stored[2]} << 8 | stored[3];
  return crc32(0, data + kTypeOffset, kTypeAndData) == expected;
}

// What the library's error means to a caller, given the step at which it came.
PngStatus FromLibrary(PngStage stage, int code) {
  switch (code) {
    case SPNG_ESIGNATURE:
      return Failed(stage, PngFailure::kNotPng, code);
    case SPNG_EMEM:
      return Failed(stage, PngFailure::kOutOfMemory, code);
    case SPNG_EUSER_WIDTH:
    case SPNG_EUSER_HEIGHT:
    case SPNG_ECHUNK_LIMITS:
    case SPNG_EOVERFLOW:
      return Failed(stage, PngFailure::kTooLarge, code);
    case SPNG_IO_EOF:
    case SPNG_IO_ERROR:
    case SPNG_EOF:
    case SPNG_EIO:
    case SPNG_EIDAT_TOO_SHORT:
      return Failed(stage, PngFailure::kTruncated, code);
    default:
      break;
  }
  switch (stage) {
    case PngStage::kHeader:
      return Failed(stage, PngFailure::kBadHeader, code);
    case PngStage::kFrame:
      return Failed(stage, PngFailure::kBadChunk, code);
    case PngStage::kPixels:
      return Failed(stage, PngFailure::kCorruptData, code);
  }
  return Failed(stage, PngFailure::kCorruptData, code);
}

// A decoding context over the bytes with the caller's limits applied, or null when the library
// cannot allocate one.
SpngContext NewContext(const std::uint8_t* data, std::size_t size, const PngLimits& limits) {
  SpngContext context(spng_ctx_new(0));
  if (!context) {
    return nullptr;
  }
  const std::uint64_t chunk_limit =
      std::min<std::uint64_t>(limits.max_decoded_bytes, std::uint64_t{0x7FFFFFFF});
  if (spng_set_png_buffer(context.get(), data, size) != 0 ||
      spng_set_chunk_limits(context.get(), static_cast<std::size_t>(chunk_limit),
                            static_cast<std::size_t>(chunk_limit)) != 0) {
    return nullptr;
  }
  return context;
}

// Reads the header and the chunks before the image data of a fresh context, failing at `stage`.
PngStatus ReadUpToImageData(spng_ctx* context, PngStage stage) {
  spng_ihdr header{};
  int code = spng_get_ihdr(context, &header);
  if (code != 0) {
    return FromLibrary(stage, code);
  }
  code = spng_decode_chunks(context);
  if (code != 0) {
    return FromLibrary(stage, code);
  }
  if (header.color_type == SPNG_COLOR_TYPE_INDEXED) {
    spng_plte palette{};
    code = spng_get_plte(context, &palette);
    if (code != 0) {
      return Failed(stage, PngFailure::kBadChunk, code);
    }
  }
  return Succeeded(stage);
}

// Reads what follows the image data, which verifies the last data chunk's checksum. A file that
// simply ends after complete image data, without its end chunk, still gives its image.
PngStatus CheckAfterImageData(spng_ctx* context) {
  const int code = spng_decode_chunks(context);
  if (code == SPNG_ECHUNK_CRC) {
    return Failed(PngStage::kPixels, PngFailure::kCorruptData, code);
  }
  return Succeeded(PngStage::kPixels);
}

// Copies `count` RGBA pixels as BGRA.
void RgbaToBgra(const std::uint8_t* rgba, std::size_t count, std::uint8_t* bgra) {
  for (std::size_t i = 0; i < count; ++i) {
    bgra[0] = rgba[2];
    bgra[1] = rgba[1];
    bgra[2] = rgba[0];
    bgra[3] = rgba[3];
    rgba += 4;
    bgra += 4;
  }
}

}  // namespace

PngDecoder::PngDecoder(const std::uint8_t* data,
                       std::size_t size,
                       const PngLimits& limits,
                       std::uint32_t width,
                       std::uint32_t height,
                       bool interlaced)
    : data_(data),
      size_(size),
      limits_(limits),
      width_(width),
      height_(height),
      interlaced_(interlaced) {}

PngDecoder::~PngDecoder() = default;

PngStatus PngDecoder::Open(const std::uint8_t* data,
                           std::size_t size,
                           const PngLimits& limits,
                           std::unique_ptr<PngDecoder>* decoder) {
  constexpr PngStage kStage = PngStage::kHeader;
  decoder->reset();
  if (data == nullptr || size < sizeof(kPngSignature) ||
      std::memcmp(data, kPngSignature, sizeof(kPngSignature)) != 0) {
    return Failed(kStage, PngFailure::kNotPng);
  }
  SpngContext context = NewContext(data, size, limits);
  if (!context) {
    return Failed(kStage, PngFailure::kOutOfMemory);
  }
  spng_ihdr header{};
  const int code = spng_get_ihdr(context.get(), &header);
  if (code != 0) {
    return FromLibrary(kStage, code);
  }
  if (!HeaderChecksumMatches(data, size)) {
    return Failed(kStage, PngFailure::kBadHeader, SPNG_ECHUNK_CRC);
  }
  const std::uint64_t decoded_bytes =
      std::uint64_t{header.width} * std::uint64_t{header.height} * kBytesPerPixel;
  if (decoded_bytes > limits.max_decoded_bytes) {
    return Failed(kStage, PngFailure::kTooLarge);
  }
  decoder->reset(new (std::nothrow) PngDecoder(data, size, limits, header.width, header.height,
                                               header.interlace_method != SPNG_INTERLACE_NONE));
  if (!*decoder) {
    return Failed(kStage, PngFailure::kOutOfMemory);
  }
  return Succeeded(kStage);
}

PngStatus PngDecoder::OpenFrame() {
  SpngContext context = NewContext(data_, size_, limits_);
  if (!context) {
    return Failed(PngStage::kFrame, PngFailure::kOutOfMemory);
  }
  return ReadUpToImageData(context.get(), PngStage::kFrame);
}

PngStatus PngDecoder::CopyPixels(const PngRect* rect,
                                 std::uint32_t stride,
                                 std::uint32_t buffer_size,
                                 std::uint8_t* buffer) const {
  constexpr PngStage kStage = PngStage::kPixels;
  PngRect area;
  if (rect != nullptr) {
    area = *rect;
  } else {
    // Images wider or higher than INT32_MAX cannot pass the size limit; the cast is safe.
    area.width = static_cast<std::int32_t>(width_);
    area.height = static_cast<std::int32_t>(height_);
  }
  if (area.x < 0 || area.y < 0 || area.width < 0 || area.height < 0 ||
      std::int64_t{area.x} + area.width > std::int64_t{width_} ||
      std::int64_t{area.y} + area.height > std::int64_t{height_}) {
    return Failed(kStage, PngFailure::kInvalidArgument);
  }
  if (area.width == 0 || area.height == 0) {
    return Succeeded(kStage);
  }
  if (buffer == nullptr) {
    return Failed(kStage, PngFailure::kInvalidArgument);
  }
  const std::uint64_t row_bytes = std::uint64_t{static_cast<std::uint32_t>(area.width)} * 4;
  const std::uint64_t needed =
      std::uint64_t{stride} * static_cast<std::uint32_t>(area.height - 1) + row_bytes;
  if (stride < row_bytes || buffer_size < needed) {
    return Failed(kStage, PngFailure::kBufferTooSmall);
  }

  SpngContext context = NewContext(data_, size_, limits_);
  if (!context) {
    return Failed(kStage, PngFailure::kOutOfMemory);
  }
  PngStatus status = ReadUpToImageData(context.get(), kStage);
  if (!status.ok()) {
    return status;
  }

  const auto x = static_cast<std::size_t>(area.x);
  const auto first_row = static_cast<std::uint32_t>(area.y);
  const auto end_row = first_row + static_cast<std::uint32_t>(area.height);
  const auto pixels = static_cast<std::size_t>(area.width);
  constexpr int kFormat = SPNG_FMT_RGBA8;
  try {
    if (interlaced_) {
      // Interlaced rows arrive in passes, so the whole image must be assembled first.
      std::size_t image_bytes = 0;
      int code = spng_decoded_image_size(context.get(), kFormat, &image_bytes);
      if (code != 0) {
        return FromLibrary(kStage, code);
      }
      std::vector<std::uint8_t> image(image_bytes);
      code =
          spng_decode_image(context.get(), image.data(), image.size(), kFormat, SPNG_DECODE_TRNS);
      if (code != 0) {
        return FromLibrary(kStage, code);
      }
      const std::size_t image_row_bytes = std::size_t{width_} * 4;
      for (std::uint32_t row = first_row; row < end_row; ++row) {
        RgbaToBgra(image.data() + row * image_row_bytes + x * 4, pixels,
                   buffer + std::size_t{stride} * (row - first_row));
      }
      return CheckAfterImageData(context.get());
    }

    int code = spng_decode_image(context.get(), nullptr, 0, kFormat,
                                 SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
    if (code != 0) {
      return FromLibrary(kStage, code);
    }
    // Every row is decoded, also those below the rectangle, so that damage anywhere in the image
    // data fails the copy whatever rectangle is asked for.
    std::vector<std::uint8_t> row_pixels(std::size_t{width_} * 4);
    for (std::uint32_t row = 0; row < height_; ++row) {
      code = spng_decode_row(context.get(), row_pixels.data(), row_pixels.size());
      // The library reports the end of the image together with the last row.
      const bool last_row = code == SPNG_EOI && row + 1 == height_;
      if (code != 0 && !last_row) {
        return FromLibrary(kStage, code);
      }
      if (row >= first_row && row < end_row) {
        RgbaToBgra(row_pixels.data() + x * 4, pixels,
                   buffer + std::size_t{stride} * (row - first_row));
      }
    }
    return CheckAfterImageData(context.get());
  } catch (const std::bad_alloc&) {
    return Failed(kStage, PngFailure::kOutOfMemory);
  }
}

}  // namespace halvex::platform::media
