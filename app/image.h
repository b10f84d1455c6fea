// An 8-bit RGB picture in memory: the form in which the demo draws its frames before encoding.
#ifndef HALVEX_APP_IMAGE_H_
#define HALVEX_APP_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex {
namespace demo {

struct Rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
};

inline bool operator==(const Rgb& a, const Rgb& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator!=(const Rgb& a, const Rgb& b) {
  return !(a == b);
}

// Rows from top to bottom, three bytes per pixel (red, green, blue), no gap between rows.
class Image {
 public:
  Image() = default;
  Image(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }
  size_t row_bytes() const { return static_cast<size_t>(width_) * 3; }
  const std::vector<uint8_t>& pixels() const { return pixels_; }

  Rgb At(int x, int y) const;
  // Writes outside the picture are ignored, so callers may draw shapes that cross its edges.
  void Set(int x, int y, Rgb colour);
  // Fills the part of the rectangle that lies inside the picture.
  void FillRect(int x, int y, int width, int height, Rgb colour);

 private:
  size_t OffsetOf(int x, int y) const {
    return (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 3;
  }

  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> pixels_;
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_IMAGE_H_
