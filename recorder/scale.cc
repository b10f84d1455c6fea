#include "recorder/scale.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace halvex {
namespace {

constexpr size_t kBytesPerPixel = 4;

// Source index for every destination index. The running product is 64-bit so that no size,
// however large, can overflow it; for the sizes a recording meets it equals the 32-bit one.
std::vector<int32_t> NearestIndices(int32_t sourceLength, int32_t destinationLength) {
  std::vector<int32_t> indices(static_cast<size_t>(destinationLength));
  int64_t product = 0;
  for (int32_t i = 0; i < destinationLength; ++i) {
    indices[static_cast<size_t>(i)] =
        static_cast<int32_t>(std::min<int64_t>(product / destinationLength, sourceLength - 1));
    product += sourceLength;
  }
  return indices;
}

inline void CopyPixel(const uint8_t* row, size_t offset, uint8_t* destination) {
  std::memcpy(destination, row + offset, kBytesPerPixel);
}

// Gathers one destination row; `offsets` are the source pixels' byte offsets in the row. When two
// neighbouring destination pixels come from neighbouring source pixels, as every other pair does
// when reducing by up to a half, both are copied with one 8-byte move.
void GatherRow(const uint8_t* row, const size_t* offsets, int32_t width, uint8_t* destination) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    const size_t first = offsets[x];
    const size_t second = offsets[x + 1];
    if (second == first + kBytesPerPixel) {
      std::memcpy(destination + 4 * x, row + first, 2 * kBytesPerPixel);
    } else {
      CopyPixel(row, first, destination + 4 * x);
      CopyPixel(row, second, destination + 4 * x + 4);
    }
  }
  if (x < width) {
    CopyPixel(row, offsets[x], destination + 4 * x);
  }
}

}  // namespace

void ScaleNearest(const uint8_t* source,
                  int32_t sourceRowBytes,
                  int32_t sourceWidth,
                  int32_t sourceHeight,
                  uint8_t* destination,
                  int32_t destinationWidth,
                  int32_t destinationHeight) {
  if (source == nullptr || destination == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      destinationWidth <= 0 || destinationHeight <= 0) {
    return;
  }
  const std::vector<int32_t> rows = NearestIndices(sourceHeight, destinationHeight);
  std::vector<size_t> offsets(static_cast<size_t>(destinationWidth));
  {
    const std::vector<int32_t> columns = NearestIndices(sourceWidth, destinationWidth);
    for (size_t x = 0; x < offsets.size(); ++x) {
      offsets[x] = static_cast<size_t>(columns[x]) * kBytesPerPixel;
    }
  }
  const size_t destinationRowBytes = kBytesPerPixel * static_cast<size_t>(destinationWidth);

  for (int32_t y = 0; y < destinationHeight; ++y) {
    uint8_t* out = destination + static_cast<size_t>(y) * destinationRowBytes;
    // Enlarging repeats source rows: copy the finished row instead of gathering it again.
    if (y > 0 && rows[static_cast<size_t>(y)] == rows[static_cast<size_t>(y) - 1]) {
      std::memcpy(out, out - destinationRowBytes, destinationRowBytes);
      continue;
    }
    const uint8_t* in =
        source + static_cast<ptrdiff_t>(rows[static_cast<size_t>(y)]) * sourceRowBytes;
    GatherRow(in, offsets.data(), destinationWidth, out);
  }
}

}  // namespace halvex
