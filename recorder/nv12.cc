#include "recorder/nv12.h"

#include <cstddef>
#include <initializer_list>

#include "recorder/nv12_paths.h"
#include "recorder/processor_features.h"

namespace halvex {
namespace {

constexpr int kBlue = 0;
constexpr int kGreen = 1;
constexpr int kRed = 2;
constexpr int kBytesPerPixel = 4;

// The plain conversion: what every path computes, and what finishes the columns and rows that the
// vector paths leave. The loops have no branches or calls per pixel so that they vectorise.

void ConvertLumaRow(const uint8_t* source, int32_t width, uint8_t* destination) {
  for (int32_t x = 0; x < width; ++x) {
    const int32_t blue = source[x * kBytesPerPixel + kBlue];
    const int32_t green = source[x * kBytesPerPixel + kGreen];
    const int32_t red = source[x * kBytesPerPixel + kRed];
    destination[x] = static_cast<uint8_t>(((66 * red + 129 * green + 25 * blue + 128) >> 8) + 16);
  }
}

// The shift is arithmetic, so negative sums floor; the results always lie in 16..240.
inline uint8_t ChromaU(int32_t blue, int32_t green, int32_t red) {
  return static_cast<uint8_t>(((112 * blue - 74 * green - 38 * red + 128) >> 8) + 128);
}

inline uint8_t ChromaV(int32_t blue, int32_t green, int32_t red) {
  return static_cast<uint8_t>(((112 * red - 94 * green - 18 * blue + 128) >> 8) + 128);
}

// One chroma row from `kRows` (1 or 2) image rows: `pairs` full column pairs, then, when the width
// is odd, the last column on its own. Sums are never negative, so shifts equal the divisions.
template <int kRows>
void ConvertChromaRow(const uint8_t* top,
                      const uint8_t* bottom,
                      int32_t pairs,
                      bool oddWidth,
                      uint8_t* destination) {
  constexpr int kPairShift = kRows == 2 ? 2 : 1;
  for (int32_t k = 0; k < pairs; ++k) {
    const uint8_t* a = top + k * 2 * kBytesPerPixel;
    const uint8_t* b = bottom + k * 2 * kBytesPerPixel;
    int32_t blue = a[kBlue] + a[kBytesPerPixel + kBlue];
    int32_t green = a[kGreen] + a[kBytesPerPixel + kGreen];
    int32_t red = a[kRed] + a[kBytesPerPixel + kRed];
    if constexpr (kRows == 2) {
      blue += b[kBlue] + b[kBytesPerPixel + kBlue];
      green += b[kGreen] + b[kBytesPerPixel + kGreen];
      red += b[kRed] + b[kBytesPerPixel + kRed];
    }
    blue >>= kPairShift;
    green >>= kPairShift;
    red >>= kPairShift;
    destination[2 * k] = ChromaU(blue, green, red);
    destination[2 * k + 1] = ChromaV(blue, green, red);
  }
  if (oddWidth) {
    const uint8_t* a = top + pairs * 2 * kBytesPerPixel;
    const uint8_t* b = bottom + pairs * 2 * kBytesPerPixel;
    int32_t blue = a[kBlue];
    int32_t green = a[kGreen];
    int32_t red = a[kRed];
    if constexpr (kRows == 2) {
      blue = (blue + b[kBlue]) >> 1;
      green = (green + b[kGreen]) >> 1;
      red = (red + b[kRed]) >> 1;
    }
    destination[2 * pairs] = ChromaU(blue, green, red);
    destination[2 * pairs + 1] = ChromaV(blue, green, red);
  }
}

using RowPairKernel = int32_t (*)(const uint8_t* top,
                                  const uint8_t* bottom,
                                  int32_t width,
                                  uint8_t* lumaTop,
                                  uint8_t* lumaBottom,
                                  uint8_t* chroma);

int32_t ConvertRowPairPortable(const uint8_t*,
                               const uint8_t*,
                               int32_t,
                               uint8_t*,
                               uint8_t*,
                               uint8_t*) {
  return 0;  // the plain loops below do every column
}

// Each pair of image rows is read once for both luma rows and the chroma row between them, so the
// source passes through the cache once.
void ConvertFrame(RowPairKernel kernel,
                  const uint8_t* source,
                  ptrdiff_t sourceStride,
                  int32_t width,
                  int32_t height,
                  ptrdiff_t pitch,
                  uint8_t* destination) {
  uint8_t* chroma = destination + height * pitch;
  const bool oddWidth = (width & 1) != 0;
  int32_t y = 0;
  for (; y + 1 < height; y += 2) {
    const uint8_t* top = source + y * sourceStride;
    const uint8_t* bottom = top + sourceStride;
    uint8_t* lumaTop = destination + y * pitch;
    uint8_t* lumaBottom = lumaTop + pitch;
    uint8_t* chromaRow = chroma + (y / 2) * pitch;
    const int32_t done = kernel(top, bottom, width, lumaTop, lumaBottom, chromaRow);
    const int32_t rest = width - done;
    ConvertLumaRow(top + done * kBytesPerPixel, rest, lumaTop + done);
    ConvertLumaRow(bottom + done * kBytesPerPixel, rest, lumaBottom + done);
    ConvertChromaRow<2>(top + done * kBytesPerPixel, bottom + done * kBytesPerPixel, rest / 2,
                        oddWidth, chromaRow + done);
  }
  if (y < height) {
    // The last row of an odd height has its chroma row to itself.
    const uint8_t* last = source + y * sourceStride;
    ConvertLumaRow(last, width, destination + y * pitch);
    ConvertChromaRow<1>(last, last, width / 2, oddWidth, chroma + (y / 2) * pitch);
  }
}

RowPairKernel KernelFor(Nv12Path path) {
  switch (path) {
    case Nv12Path::kPortable:
      return ConvertRowPairPortable;
#if HALVEX_NV12_X86_64
    case Nv12Path::kSse2:
      return ConvertRowPairSse2;
    case Nv12Path::kAvx2:
      return RunsAvx2(ThisProcessor()) ? ConvertRowPairAvx2 : nullptr;
    case Nv12Path::kAvx512:
      return RunsAvx512(ThisProcessor()) ? ConvertRowPairAvx512 : nullptr;
#else
    case Nv12Path::kSse2:
    case Nv12Path::kAvx2:
    case Nv12Path::kAvx512:
      return nullptr;
#endif
  }
  return nullptr;
}

}  // namespace

size_t Nv12Size(int32_t pitch, int32_t height) {
  if (pitch <= 0 || height <= 0) {
    return 0;
  }
  const size_t rows = static_cast<size_t>(height) + (static_cast<size_t>(height) + 1) / 2;
  return static_cast<size_t>(pitch) * rows;
}

bool Nv12PathSupported(Nv12Path path) {
  return KernelFor(path) != nullptr;
}

Nv12Path FastestNv12Path() {
  static const Nv12Path fastest = [] {
    for (const Nv12Path path : {Nv12Path::kAvx512, Nv12Path::kAvx2, Nv12Path::kSse2}) {
      if (Nv12PathSupported(path)) {
        return path;
      }
    }
    return Nv12Path::kPortable;
  }();
  return fastest;
}

bool ConvertBgraToNv12On(Nv12Path path,
                         const uint8_t* source,
                         int32_t sourceRowBytes,
                         int32_t width,
                         int32_t height,
                         int32_t destinationPitch,
                         uint8_t* destination) {
  const RowPairKernel kernel = KernelFor(path);
  if (kernel == nullptr) {
    return false;
  }
  // A chroma row holds a U/V pair for every started column pair: an odd width needs one byte more.
  const int32_t chromaRowBytes = width + (width & 1);
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0 ||
      destinationPitch < chromaRowBytes) {
    return true;
  }
  ConvertFrame(kernel, source, sourceRowBytes, width, height, destinationPitch, destination);
  return true;
}

void ConvertBgraToNv12(const uint8_t* source,
                       int32_t sourceRowBytes,
                       int32_t width,
                       int32_t height,
                       int32_t destinationPitch,
                       uint8_t* destination) {
  ConvertBgraToNv12On(FastestNv12Path(), source, sourceRowBytes, width, height, destinationPitch,
                      destination);
}

}  // namespace halvex
