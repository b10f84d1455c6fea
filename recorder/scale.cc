#include "recorder/scale.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "recorder/processor_features.h"
#include "recorder/scale_paths.h"

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

inline void CopyPixel(const uint8_t* row, int32_t column, uint8_t* destination) {
  std::memcpy(destination, row + kBytesPerPixel * static_cast<size_t>(column), kBytesPerPixel);
}

// Gathers one destination row; see GatherRowAvx512 for the contract. When two neighbouring
// destination pixels come from neighbouring source pixels, as every other pair does when reducing
// by up to a half, both are copied with one 8-byte move.
void GatherRowPortable(const uint8_t* row,
                       int32_t /*sourceWidth*/,
                       const int32_t* columns,
                       int32_t width,
                       uint8_t* destination) {
  int32_t x = 0;
  for (; x + 2 <= width; x += 2) {
    const int32_t first = columns[x];
    if (columns[x + 1] == first + 1) {
      std::memcpy(destination + 4 * x, row + kBytesPerPixel * static_cast<size_t>(first),
                  2 * kBytesPerPixel);
    } else {
      CopyPixel(row, first, destination + 4 * x);
      CopyPixel(row, columns[x + 1], destination + 4 * x + 4);
    }
  }
  if (x < width) {
    CopyPixel(row, columns[x], destination + 4 * x);
  }
}

using RowGather = void (*)(const uint8_t* row,
                           int32_t sourceWidth,
                           const int32_t* columns,
                           int32_t width,
                           uint8_t* destination);

RowGather GatherFor(ScalePath path) {
  switch (path) {
    case ScalePath::kPortable:
      return GatherRowPortable;
    case ScalePath::kAvx512:
#if HALVEX_SCALE_X86_64
      return RunsAvx512(ThisProcessor()) ? GatherRowAvx512 : nullptr;
#else
      return nullptr;
#endif
  }
  return nullptr;
}

void ScaleFrame(RowGather gather,
                const uint8_t* source,
                int32_t sourceRowBytes,
                int32_t sourceWidth,
                int32_t sourceHeight,
                uint8_t* destination,
                int32_t destinationWidth,
                int32_t destinationHeight) {
  const std::vector<int32_t> rows = NearestIndices(sourceHeight, destinationHeight);
  const std::vector<int32_t> columns = NearestIndices(sourceWidth, destinationWidth);
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
    gather(in, sourceWidth, columns.data(), destinationWidth, out);
  }
}

}  // namespace

bool ScalePathSupported(ScalePath path) {
  return GatherFor(path) != nullptr;
}

ScalePath FastestScalePath() {
  static const ScalePath fastest =
      ScalePathSupported(ScalePath::kAvx512) ? ScalePath::kAvx512 : ScalePath::kPortable;
  return fastest;
}

bool ScaleNearestOn(ScalePath path,
                    const uint8_t* source,
                    int32_t sourceRowBytes,
                    int32_t sourceWidth,
                    int32_t sourceHeight,
                    uint8_t* destination,
                    int32_t destinationWidth,
                    int32_t destinationHeight) {
  const RowGather gather = GatherFor(path);
  if (gather == nullptr) {
    return false;
  }
  if (source == nullptr || destination == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      destinationWidth <= 0 || destinationHeight <= 0) {
    return true;
  }
  ScaleFrame(gather, source, sourceRowBytes, sourceWidth, sourceHeight, destination,
             destinationWidth, destinationHeight);
  return true;
}

void ScaleNearest(const uint8_t* source,
                  int32_t sourceRowBytes,
                  int32_t sourceWidth,
                  int32_t sourceHeight,
                  uint8_t* destination,
                  int32_t destinationWidth,
                  int32_t destinationHeight) {
  ScaleNearestOn(FastestScalePath(), source, sourceRowBytes, sourceWidth, sourceHeight, destination,
                 destinationWidth, destinationHeight);
}

}  // namespace halvex
