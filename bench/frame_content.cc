#include "bench/frame_content.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace halvex::bench {
namespace {

uint8_t Clamp(double value) {
  return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}

}  // namespace

std::vector<uint8_t> CameraLikeFrame(int32_t width, int32_t height, int32_t index) {
  std::vector<uint8_t> bgra(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  uint32_t noise = 2654435761u * static_cast<uint32_t>(index + 1);
  // A bright disc crossing the frame and a dark bar sweeping down it.
  const double discX = width * (0.2 + 0.6 * ((index % 120) / 120.0));
  const double discY = height * (0.5 + 0.25 * std::sin(index * 0.05));
  const double discRadius = height * 0.15;
  const int32_t barTop = (index * 7) % std::max(1, height - height / 10);
  for (int32_t y = 0; y < height; ++y) {
    const double fy = static_cast<double>(y) / height;
    for (int32_t x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const double grain = static_cast<double>(static_cast<int32_t>(noise >> 28) - 8);
      const double fx = static_cast<double>(x) / width;
      double blue = 70 + 110 * fy;
      double green = 90 + 70 * std::sin(fx * 7.0 + index * 0.02) * fy + 40 * fx;
      double red = 190 - 140 * fx + 30 * fy;
      const double dx = x - discX;
      const double dy = y - discY;
      if (dx * dx + dy * dy < discRadius * discRadius) {
        blue = 230;
        green = 220;
        red = 120;
      }
      if (y >= barTop && y < barTop + height / 10) {
        blue *= 0.3;
        green *= 0.3;
        red *= 0.3;
      }
      uint8_t* pixel = bgra.data() + (static_cast<size_t>(y) * width + x) * 4;
      pixel[0] = Clamp(blue + grain);
      pixel[1] = Clamp(green + grain);
      pixel[2] = Clamp(red + grain);
      pixel[3] = 255;
    }
  }
  return bgra;
}

}  // namespace halvex::bench
