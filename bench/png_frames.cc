#include "bench/png_frames.h"

#include <spng.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "bench/frame_content.h"

namespace halvex::bench {
namespace {

struct ContextDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

std::string FrameName(int32_t index) {
  char name[16];
  std::snprintf(name, sizeof(name), "%04d.png", index + 1);
  return name;
}

// What the folder was made for, so a change of count or size makes it again.
std::string Description(int32_t count, int32_t width, int32_t height) {
  return std::to_string(count) + " frames of " + std::to_string(width) + "x" +
         std::to_string(height) + "\n";
}

}  // namespace

std::vector<uint8_t> EncodePng(int32_t width, int32_t height, const std::vector<uint8_t>& bgra) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (size_t pixel = 0; pixel < rgb.size() / 3; ++pixel) {
    rgb[3 * pixel] = bgra[4 * pixel + 2];
    rgb[3 * pixel + 1] = bgra[4 * pixel + 1];
    rgb[3 * pixel + 2] = bgra[4 * pixel];
  }
  std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!context || spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1) != 0) {
    return {};
  }
  spng_ihdr header = {};
  header.width = static_cast<uint32_t>(width);
  header.height = static_cast<uint32_t>(height);
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  if (spng_set_ihdr(context.get(), &header) != 0 ||
      spng_encode_image(context.get(), rgb.data(), rgb.size(), SPNG_FMT_PNG,
                        SPNG_ENCODE_FINALIZE) != 0) {
    return {};
  }
  size_t size = 0;
  int error = 0;
  void* encoded = spng_get_png_buffer(context.get(), &size, &error);
  if (encoded == nullptr || error != 0) {
    return {};
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(encoded);
  std::vector<uint8_t> png(bytes, bytes + size);
  std::free(encoded);
  return png;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>());
}

std::vector<std::string> PrepareFrameFolder(const std::string& folder,
                                            int32_t count,
                                            int32_t width,
                                            int32_t height) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i) {
    names.push_back((fs::path(folder) / FrameName(i)).string());
  }
  const std::string marker = (fs::path(folder) / "frames.txt").string();
  const std::string description = Description(count, width, height);
  const std::vector<uint8_t> existing = ReadFile(marker);
  if (std::string(existing.begin(), existing.end()) == description) {
    return names;
  }
  std::error_code error;
  fs::remove_all(folder, error);
  if (!fs::create_directories(folder, error)) {
    return {};
  }
  for (int32_t i = 0; i < count; ++i) {
    const std::vector<uint8_t> png = EncodePng(width, height, CameraLikeFrame(width, height, i));
    std::ofstream file(names[static_cast<size_t>(i)], std::ios::binary);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (png.empty() || !file) {
      return {};
    }
  }
  std::ofstream(marker) << description;
  return names;
}

}  // namespace halvex::bench
