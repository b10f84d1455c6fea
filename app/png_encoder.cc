#include "app/png_encoder.h"

#include <spng.h>

#include <cstdlib>
#include <memory>

namespace halvex {
namespace demo {
namespace {

struct ContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using EncoderContext = std::unique_ptr<spng_ctx, ContextDeleter>;

// The encoder hands its output over in memory from malloc.
struct MallocDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

// Speed over size: at 1280x720 and 30 frames per second a frame has 33 ms for everything, and
// the adaptive row filters with the default level take about twice that here. Unfiltered rows at
// the fastest level take a fraction of it, and the flat test scene still packs to a few tens of
// kilobytes.
constexpr int kCompressionLevel = 1;

bool Fail(const char* step, int code, std::string* error) {
  if (error != nullptr) {
    *error = std::string("PNG encoding failed at ") + step + ": " + spng_strerror(code);
  }
  return false;
}

}  // namespace

bool EncodePng(const Image& image, std::vector<uint8_t>* png, std::string* error) {
  png->clear();
  if (image.empty()) {
    if (error != nullptr) {
      *error = "PNG encoding failed: the image has no pixels";
    }
    return false;
  }
  EncoderContext context(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!context) {
    if (error != nullptr) {
      *error = "PNG encoding failed: no encoder context";
    }
    return false;
  }
  int result = spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
  if (result != 0) {
    return Fail("buffer output", result, error);
  }
  result = spng_set_option(context.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE);
  if (result != 0) {
    return Fail("filter choice", result, error);
  }
  result = spng_set_option(context.get(), SPNG_IMG_COMPRESSION_LEVEL, kCompressionLevel);
  if (result != 0) {
    return Fail("compression level", result, error);
  }
  spng_ihdr header{};
  header.width = static_cast<uint32_t>(image.width());
  header.height = static_cast<uint32_t>(image.height());
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  result = spng_set_ihdr(context.get(), &header);
  if (result != 0) {
    return Fail("header", result, error);
  }
  result = spng_encode_image(context.get(), image.pixels().data(), image.pixels().size(),
                             SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
  if (result != 0) {
    return Fail("image", result, error);
  }
  size_t size = 0;
  result = 0;
  std::unique_ptr<void, MallocDeleter> buffer(spng_get_png_buffer(context.get(), &size, &result));
  if (!buffer || result != 0) {
    return Fail("output", result, error);
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer.get());
  png->assign(bytes, bytes + size);
  return true;
}

}  // namespace demo
}  // namespace halvex
