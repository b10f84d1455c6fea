// The conversion's SSE2 columns, 16 pixels of two rows at a time: the path every x86-64 processor
// runs. SSE2 has no byte shuffle and no byte multiply-add, so pixels are split into 16-bit
// channel pairs (blue, red) and (green, alpha) and weighted with 16-bit multiply-adds.
#include "recorder/nv12_paths.h"

#if HALVEX_NV12_X86_64
#include <emmintrin.h>

namespace halvex {
namespace {

// Luma before the shift is at most 56100; 128 rounds and 16 << 8 is the +16 after the shift.
constexpr int kLumaBias = 128 + (16 << 8);
// U and V before the shift lie in [-28560, 28560]; 128 rounds and 128 << 8 is the +128 after it.
constexpr int kChromaBias = 128 + (128 << 8);

struct Constants {
  __m128i lowBytes = _mm_set1_epi16(0x00FF);
  __m128i lumaBlueRed = _mm_set1_epi32(25 | (66 << 16));
  __m128i lumaGreen = _mm_set1_epi32(129);
  __m128i lumaBias = _mm_set1_epi32(kLumaBias);
  __m128i uBlueRed = _mm_set1_epi32(112 | (-38 * 65536));
  __m128i uGreen = _mm_set1_epi32(0xFFFF & -74);
  __m128i vBlueRed = _mm_set1_epi32((0xFFFF & -18) | (112 << 16));
  __m128i vGreen = _mm_set1_epi32(0xFFFF & -94);
  __m128i chromaBias = _mm_set1_epi32(kChromaBias);
  __m128i secondByte = _mm_set1_epi32(0xFF00);
  __m128i dwordMiddle = _mm_set1_epi32(0x8000);
  __m128i wordSign = _mm_set1_epi16(static_cast<short>(0x8000));
};

// Four pixels as words: (blue, red) and (green, alpha) of each.
struct Channels {
  __m128i blueRed;
  __m128i greenAlpha;
};

inline Channels Split(const Constants& c, const uint8_t* pixels) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  return {_mm_and_si128(bytes, c.lowBytes), _mm_srli_epi16(bytes, 8)};
}

// Four luma values as dwords.
inline __m128i Luma(const Constants& c, const Channels& pixels) {
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(pixels.blueRed, c.lumaBlueRed),
                                    _mm_madd_epi16(pixels.greenAlpha, c.lumaGreen));
  return _mm_srli_epi32(_mm_add_epi32(sum, c.lumaBias), 8);
}

// The two-pixel sums of two registers' pixels, pixel pairs (0, 1), (2, 3), ... in order.
inline __m128i AddNeighbours(__m128i first, __m128i second) {
  const __m128 a = _mm_castsi128_ps(first);
  const __m128 b = _mm_castsi128_ps(second);
  return _mm_add_epi16(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                       _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}

// Four 2 × 2 blocks from 8 pixels of two rows (two registers of each): one dword per block with
// U in its low byte and V in the next, less 0x8000 so that a signed pack keeps it.
inline __m128i ChromaPairs(const Constants& c, const Channels top[2], const Channels bottom[2]) {
  const __m128i blueRed = AddNeighbours(_mm_add_epi16(top[0].blueRed, bottom[0].blueRed),
                                        _mm_add_epi16(top[1].blueRed, bottom[1].blueRed));
  const __m128i greenAlpha = AddNeighbours(_mm_add_epi16(top[0].greenAlpha, bottom[0].greenAlpha),
                                           _mm_add_epi16(top[1].greenAlpha, bottom[1].greenAlpha));
  // Sums of four are at most 1020; the shift is the truncating division.
  const __m128i averageBlueRed = _mm_srli_epi16(blueRed, 2);
  const __m128i averageGreenAlpha = _mm_srli_epi16(greenAlpha, 2);
  const __m128i u = _mm_add_epi32(_mm_madd_epi16(averageBlueRed, c.uBlueRed),
                                  _mm_madd_epi16(averageGreenAlpha, c.uGreen));
  const __m128i v = _mm_add_epi32(_mm_madd_epi16(averageBlueRed, c.vBlueRed),
                                  _mm_madd_epi16(averageGreenAlpha, c.vGreen));
  const __m128i uByte = _mm_srli_epi32(_mm_add_epi32(u, c.chromaBias), 8);
  // (v + bias) is below 65536, so its second byte alone is V.
  const __m128i vByte = _mm_and_si128(_mm_add_epi32(v, c.chromaBias), c.secondByte);
  // Taking 0x8000 off keeps the dword within the signed 16-bit range of the pack.
  return _mm_sub_epi32(_mm_or_si128(uByte, vByte), c.dwordMiddle);
}

// 8 pixels of two rows: their luma as words, and the U/V pairs of their four blocks as dwords
// (see ChromaPairs). Each pixel is split into channels once, for both.
struct HalfBlock {
  __m128i lumaTop;
  __m128i lumaBottom;
  __m128i chroma;
};

inline HalfBlock ConvertHalfBlock(const Constants& c, const uint8_t* top, const uint8_t* bottom) {
  const Channels upper[2] = {Split(c, top), Split(c, top + 16)};
  const Channels lower[2] = {Split(c, bottom), Split(c, bottom + 16)};
  return {_mm_packs_epi32(Luma(c, upper[0]), Luma(c, upper[1])),
          _mm_packs_epi32(Luma(c, lower[0]), Luma(c, lower[1])), ChromaPairs(c, upper, lower)};
}

inline void ConvertBlock(const Constants& c,
                         const uint8_t* top,
                         const uint8_t* bottom,
                         uint8_t* lumaTop,
                         uint8_t* lumaBottom,
                         uint8_t* chroma) {
  const HalfBlock left = ConvertHalfBlock(c, top, bottom);
  const HalfBlock right = ConvertHalfBlock(c, top + 32, bottom + 32);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lumaTop),
                   _mm_packus_epi16(left.lumaTop, right.lumaTop));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lumaBottom),
                   _mm_packus_epi16(left.lumaBottom, right.lumaBottom));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(chroma),
                   _mm_xor_si128(_mm_packs_epi32(left.chroma, right.chroma), c.wordSign));
}

constexpr int32_t kBlockWidth = 16;

}  // namespace

int32_t ConvertRowPairSse2(const uint8_t* top,
                           const uint8_t* bottom,
                           int32_t width,
                           uint8_t* lumaTop,
                           uint8_t* lumaBottom,
                           uint8_t* chroma) {
  if (width < kBlockWidth) {
    return 0;
  }
  const Constants c;
  // The columns left over after the last whole block are done by one more block that overlaps
  // it, writing the same bytes again where they meet; it starts on an even column so that its
  // 2 × 2 blocks are the image's. One call site, so that the block is inlined.
  const int32_t last = (width - kBlockWidth) & ~1;
  for (int32_t x = 0;; x = x + kBlockWidth < last ? x + kBlockWidth : last) {
    ConvertBlock(c, top + 4 * x, bottom + 4 * x, lumaTop + x, lumaBottom + x, chroma + x);
    if (x == last) {
      break;
    }
  }
  return last + kBlockWidth;
}

}  // namespace halvex

#endif  // HALVEX_NV12_X86_64
