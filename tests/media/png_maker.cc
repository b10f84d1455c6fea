#include "png_maker.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace halvex::media_testing {
namespace {

struct EncoderDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Encoder = std::unique_ptr<spng_ctx, EncoderDeleter>;

int ChannelsOf(std::uint8_t color_type) {
  switch (color_type) {
    case kGray:
    case kIndexed:
      return 1;
    case kGrayAlpha:
      return 2;
    case kTruecolor:
      return 3;
    default:
      return 4;
  }
}

// Varied, repeatable sample values across the whole range of the bit depth.
std::uint32_t SampleAt(std::uint32_t x, std::uint32_t y, int channel, std::uint32_t levels) {
  std::uint32_t h =
      x * 73856093u ^ y * 19349663u ^ static_cast<std::uint32_t>(channel + 1) * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return h % levels;
}

// The 8-bit value of a sample of `depth` bits, as a decoder scales it.
int ScaleTo8(std::uint32_t value, int depth) {
  if (depth == 16) {
    return static_cast<int>((value * 255 + 32767) / 65535);
  }
  return static_cast<int>(value * 255 / ((1u << depth) - 1));
}

std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
         std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void WriteBigEndian32(std::uint32_t value, std::uint8_t* bytes) {
  bytes[0] = static_cast<std::uint8_t>(value >> 24);
  bytes[1] = static_cast<std::uint8_t>(value >> 16);
  bytes[2] = static_cast<std::uint8_t>(value >> 8);
  bytes[3] = static_cast<std::uint8_t>(value);
}

}  // namespace

TestPng MakeTestPng(const PngSpec& png_spec) {
  const int channels = ChannelsOf(png_spec.color_type);
  const int depth = png_spec.bit_depth;
  const std::uint32_t levels = 1u << depth;
  const std::size_t row_bytes = (std::size_t{png_spec.width} * channels * depth + 7) / 8;
  std::vector<std::uint8_t> raw(row_bytes * png_spec.height, 0);
  std::vector<std::vector<std::uint32_t>> samples(std::size_t{png_spec.width} * png_spec.height);

  spng_plte palette{};
  spng_trns transparency{};
  if (png_spec.color_type == kIndexed) {
    palette.n_entries = std::min<std::uint32_t>(levels, 256);
    for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
      palette.entries[i].red = static_cast<std::uint8_t>(i * 37 + 11);
      palette.entries[i].green = static_cast<std::uint8_t>(i * 91 + 3);
      palette.entries[i].blue = static_cast<std::uint8_t>(i * 53 + 200);
    }
    // Fewer alpha values than entries: the rest are opaque.
    transparency.n_type3_entries = (palette.n_entries + 1) / 2;
    for (std::uint32_t i = 0; i < transparency.n_type3_entries; ++i) {
      transparency.type3_alpha[i] = static_cast<std::uint8_t>(i * 255 / palette.n_entries);
    }
  }

  for (std::uint32_t y = 0; y < png_spec.height; ++y) {
    for (std::uint32_t x = 0; x < png_spec.width; ++x) {
      std::vector<std::uint32_t>& pixel = samples[std::size_t{y} * png_spec.width + x];
      for (int c = 0; c < channels; ++c) {
        const std::uint32_t limit = png_spec.color_type == kIndexed ? palette.n_entries : levels;
        pixel.push_back(SampleAt(x, y, c, limit));
      }
      for (int c = 0; c < channels; ++c) {
        const std::size_t bit = (std::size_t{x} * channels + c) * depth;
        std::uint8_t* row = raw.data() + std::size_t{y} * row_bytes;
        const std::uint32_t value = pixel[static_cast<std::size_t>(c)];
        if (depth == 16) {
          const auto sample =
              static_cast<std::uint16_t>(value);  // host order, as the encoder takes it
          std::memcpy(row + bit / 8, &sample, 2);
        } else if (depth == 8) {
          row[bit / 8] = static_cast<std::uint8_t>(value);
        } else {
          const int shift = 8 - depth - static_cast<int>(bit % 8);
          row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (value << shift));
        }
      }
    }
  }

  const std::vector<std::uint32_t>& key = samples[0];
  if (png_spec.transparency) {
    if (png_spec.color_type == kGray) {
      transparency.gray = static_cast<std::uint16_t>(key[0]);
    } else if (png_spec.color_type == kTruecolor) {
      transparency.red = static_cast<std::uint16_t>(key[0]);
      transparency.green = static_cast<std::uint16_t>(key[1]);
      transparency.blue = static_cast<std::uint16_t>(key[2]);
    }
  }

  TestPng result;
  result.tolerance = depth == 16 ? 1 : 0;
  result.bgra.resize(std::size_t{png_spec.width} * png_spec.height * 4);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const std::vector<std::uint32_t>& s = samples[i];
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 255;
    switch (png_spec.color_type) {
      case kGray:
        r = g = b = ScaleTo8(s[0], depth);
        if (png_spec.transparency && s[0] == key[0]) {
          a = 0;
        }
        break;
      case kGrayAlpha:
        r = g = b = ScaleTo8(s[0], depth);
        a = ScaleTo8(s[1], depth);
        break;
      case kTruecolor:
        r = ScaleTo8(s[0], depth);
        g = ScaleTo8(s[1], depth);
        b = ScaleTo8(s[2], depth);
        if (png_spec.transparency && s == key) {
          a = 0;
        }
        break;
      case kIndexed:
        r = palette.entries[s[0]].red;
        g = palette.entries[s[0]].green;
        b = palette.entries[s[0]].blue;
        if (png_spec.transparency && s[0] < transparency.n_type3_entries) {
          a = transparency.type3_alpha[s[0]];
        }
        break;
      default:
        r = ScaleTo8(s[0], depth);
        g = ScaleTo8(s[1], depth);
        b = ScaleTo8(s[2], depth);
        a = ScaleTo8(s[3], depth);
        break;
    }
    result.bgra[i * 4 + 0] = static_cast<std::uint8_t>(b);
    result.bgra[i * 4 + 1] = static_cast<std::uint8_t>(g);
    result.bgra[i * 4 + 2] = static_cast<std::uint8_t>(r);
    result.bgra[i * 4 + 3] = static_cast<std::uint8_t>(a);
  }

  Encoder encoder(spng_ctx_new(SPNG_CTX_ENCODER));
  spng_set_option(encoder.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{};
  header.width = png_spec.width;
  header.height = png_spec.height;
  header.bit_depth = png_spec.bit_depth;
  header.color_type = png_spec.color_type;
  header.interlace_method = png_spec.interlaced ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE;
  if (spng_set_ihdr(encoder.get(), &header) != 0) {
    throw std::runtime_error("the encoder refused the header");
  }
  if (png_spec.color_type == kIndexed && spng_set_plte(encoder.get(), &palette) != 0) {
    throw std::runtime_error("the encoder refused the palette");
  }
  if (png_spec.transparency && spng_set_trns(encoder.get(), &transparency) != 0) {
    throw std::runtime_error("the encoder refused the transparency");
  }
  const int code =
      spng_encode_image(encoder.get(), raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  if (code != 0) {
    throw std::runtime_error(std::string("encoding failed: ") + spng_strerror(code));
  }
  std::size_t size = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(encoder.get(), &size, &error);
  if (buffer == nullptr) {
    throw std::runtime_error("the encoder produced nothing");
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  result.file.assign(bytes, bytes + size);
  std::free(buffer);
  return result;
}

std::vector<std::uint8_t> EncodeBgraPng(std::uint32_t width,
                                        std::uint32_t height,
                                        const std::vector<std::uint8_t>& bgra) {
  std::vector<std::uint8_t> rgba(bgra.size());
  for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
    rgba[i + 0] = bgra[i + 2];
    rgba[i + 1] = bgra[i + 1];
    rgba[i + 2] = bgra[i + 0];
    rgba[i + 3] = bgra[i + 3];
  }
  Encoder encoder(spng_ctx_new(SPNG_CTX_ENCODER));
  spng_set_option(encoder.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{};
  header.width = width;
  header.height = height;
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  spng_set_ihdr(encoder.get(), &header);
  if (spng_encode_image(encoder.get(), rgba.data(), rgba.size(), SPNG_FMT_PNG,
                        SPNG_ENCODE_FINALIZE) != 0) {
    throw std::runtime_error("encoding failed");
  }
  std::size_t size = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(encoder.get(), &size, &error);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::vector<std::uint8_t> file(bytes, bytes + size);
  std::free(buffer);
  return file;
}

std::vector<PngChunk> ListChunks(const std::vector<std::uint8_t>& png) {
  std::vector<PngChunk> chunks;
  std::size_t offset = 8;
  while (offset + 12 <= png.size()) {
    PngChunk chunk;
    chunk.offset = offset;
    chunk.length = ReadBigEndian32(png.data() + offset);
    chunk.type.assign(reinterpret_cast<const char*>(png.data() + offset + 4), 4);
    if (chunk.end() > png.size()) {
      break;
    }
    chunks.push_back(chunk);
    offset = chunk.end();
  }
  return chunks;
}

PngChunk FindChunk(const std::vector<std::uint8_t>& png, const std::string& type) {
  for (const PngChunk& chunk : ListChunks(png)) {
    if (chunk.type == type) {
      return chunk;
    }
  }
  throw std::runtime_error("no " + type + " chunk");
}

std::vector<std::uint8_t> MakeChunk(const std::string& type,
                                    const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> chunk(12 + data.size());
  WriteBigEndian32(static_cast<std::uint32_t>(data.size()), chunk.data());
  std::memcpy(chunk.data() + 4, type.data(), 4);
  std::copy(data.begin(), data.end(), chunk.begin() + 8);
  const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(4 + data.size()));
  WriteBigEndian32(static_cast<std::uint32_t>(crc), chunk.data() + 8 + data.size());
  return chunk;
}

void FixCrc(std::vector<std::uint8_t>* png, const PngChunk& chunk) {
  const uLong crc = crc32(0, png->data() + chunk.offset + 4, static_cast<uInt>(4 + chunk.length));
  WriteBigEndian32(static_cast<std::uint32_t>(crc),
                   png->data() + chunk.data_offset() + chunk.length);
}

}  // namespace halvex::media_testing
