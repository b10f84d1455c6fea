#include "tests/end_to_end/png_decode.h"

#include <spng.h>

#include <memory>

namespace halvex {
namespace demo {
namespace testing {
namespace {

struct ContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

DecodedPng Failed(const char* step, int code) {
  DecodedPng decoded;
  decoded.error = std::string(step) + ": " + spng_strerror(code);
  return decoded;
}

}  // namespace

DecodedPng DecodePng(const std::vector<uint8_t>& png) {
  std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(0));
  if (!context) {
    return Failed("context", SPNG_EMEM);
  }
  int result = spng_set_png_buffer(context.get(), png.data(), png.size());
  if (result != 0) {
    return Failed("buffer", result);
  }
  spng_ihdr header{};
  result = spng_get_ihdr(context.get(), &header);
  if (result != 0) {
    return Failed("header", result);
  }
  size_t size = 0;
  result = spng_decoded_image_size(context.get(), SPNG_FMT_RGB8, &size);
  if (result != 0) {
    return Failed("size", result);
  }
  DecodedPng decoded;
  decoded.rgb.resize(size);
  result = spng_decode_image(context.get(), decoded.rgb.data(), size, SPNG_FMT_RGB8, 0);
  if (result != 0) {
    return Failed("image", result);
  }
  decoded.ok = true;
  decoded.width = header.width;
  decoded.height = header.height;
  decoded.bit_depth = header.bit_depth;
  decoded.color_type = header.color_type;
  return decoded;
}

}  // namespace testing
}  // namespace demo
}  // namespace halvex
