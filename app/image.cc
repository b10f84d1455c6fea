#include "app/image.h"

#include <algorithm>

namespace halvex {
namespace demo {

Image::Image(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0) {}

Rgb Image::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    return Rgb{0, 0, 0};
  }
  const size_t offset = OffsetOf(x, y);
  return Rgb{pixels_[offset], pixels_[offset + 1], pixels_[offset + 2]};
}

void Image::Set(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    return;
  }
  const size_t offset = OffsetOf(x, y);
  pixels_[offset] = colour.red;
  pixels_[offset + 1] = colour.green;
  pixels_[offset + 2] = colour.blue;
}

void Image::FillRect(int x, int y, int width, int height, Rgb colour) {
  // Clip in 64-bit so that rectangles reaching far past the edges cannot overflow.
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + width, width_);
  const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height, height_);
  for (int64_t row = top; row < bottom; ++row) {
    for (int64_t column = left; column < right; ++column) {
      const size_t offset = OffsetOf(static_cast<int>(column), static_cast<int>(row));
      pixels_[offset] = colour.red;
      pixels_[offset + 1] = colour.green;
      pixels_[offset + 2] = colour.blue;
    }
  }
}

}  // namespace demo
}  // namespace halvex
