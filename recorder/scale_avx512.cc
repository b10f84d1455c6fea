// Nearest-neighbour rows with AVX-512, 16 destination pixels at a time. Where those 16 come from
// a window of 32 neighbouring source pixels (any enlargement, and reductions by less than a half)
// the window is loaded and permuted; wider spans are gathered. The last pixels of a row go under a
// mask. This file alone is compiled for AVX-512 (F) and runs only where the processor and the
// operating system support it, so it includes no header with inline code that another file could
// share.
#include "recorder/scale_paths.h"

#if HALVEX_SCALE_X86_64
#include <immintrin.h>

namespace halvex {
namespace {

constexpr int32_t kBlockPixels = 16;
constexpr int32_t kBytesPerPixel = 4;
// Source pixels that two registers hold: blocks whose columns span fewer are permuted from them.
constexpr int32_t kWindowPixels = 2 * kBlockPixels;

// The first `count` of 32 lanes (all of them from 32 on); `count` is at least 1.
inline uint32_t LeadingLanes(int32_t count) {
  return count >= 32 ? ~0u : (1u << count) - 1;
}

// 16 destination pixels whose source columns are `sourceColumns`, from `first` to `last` of the
// wanted `lanes`; the other lanes come out as anything.
inline __m512i Block(const uint8_t* row,
                     int32_t sourceWidth,
                     __m512i sourceColumns,
                     int32_t first,
                     int32_t last,
                     __mmask16 lanes) {
  if (last - first >= kWindowPixels) {
    return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), lanes, sourceColumns, row,
                                       kBytesPerPixel);
  }
  const uint8_t* window = row + static_cast<int64_t>(first) * kBytesPerPixel;
  const __m512i relative = _mm512_sub_epi32(sourceColumns, _mm512_set1_epi32(first));
  if (first + kWindowPixels <= sourceWidth) {
    return _mm512_permutex2var_epi32(_mm512_loadu_si512(window), relative,
                                     _mm512_loadu_si512(window + 64));
  }
  // Near the row's end the window is loaded under a mask, which neither reads nor faults beyond
  // the row.
  const uint32_t inRow = LeadingLanes(sourceWidth - first);
  return _mm512_permutex2var_epi32(
      _mm512_maskz_loadu_epi32(static_cast<__mmask16>(inRow), window), relative,
      _mm512_maskz_loadu_epi32(static_cast<__mmask16>(inRow >> kBlockPixels), window + 64));
}

}  // namespace

void GatherRowAvx512(const uint8_t* row,
                     int32_t sourceWidth,
                     const int32_t* columns,
                     int32_t width,
                     uint8_t* destination) {
  constexpr __mmask16 kAllLanes = 0xFFFF;
  int32_t x = 0;
  for (; x + kBlockPixels <= width; x += kBlockPixels) {
    const __m512i pixels = Block(row, sourceWidth, _mm512_loadu_si512(columns + x), columns[x],
                                 columns[x + kBlockPixels - 1], kAllLanes);
    _mm512_storeu_si512(destination + static_cast<int64_t>(x) * kBytesPerPixel, pixels);
  }
  if (x < width) {
    const __mmask16 lanes = static_cast<__mmask16>(LeadingLanes(width - x));
    const __m512i pixels = Block(row, sourceWidth, _mm512_maskz_loadu_epi32(lanes, columns + x),
                                 columns[x], columns[width - 1], lanes);
    _mm512_mask_storeu_epi32(destination + static_cast<int64_t>(x) * kBytesPerPixel, lanes, pixels);
  }
}

}  // namespace halvex

#endif  // HALVEX_SCALE_X86_64
