// The conversion's AVX-512 columns, 64 pixels of two rows at a time, the last columns of a row
// under a mask. This file alone is compiled for AVX-512 (F and BW) and runs only where the
// processor and the operating system support it, so it includes no header with inline code that
// another file could share.
#include "recorder/nv12_paths.h"

#if HALVEX_NV12_X86_64
#include <immintrin.h>

namespace halvex {
namespace {

// Luma: the weights (25, 129, 66) do not fit the signed operand of the byte multiply-add, so they
// are the unsigned one and the pixels, offset by -128, the signed one: the sum is then
// 66r + 129g + 25b - 28160, each partial word within 16 bits (see the AVX2 path). Adding 28160
// back, 128 for rounding and 16 << 8 gives the bias below.
constexpr int kLumaBias = 28160 + 128 + (16 << 8);

// Chroma: U and V of one block, before the final shift, lie in [-28560, 28560]; with 128 for
// rounding and the +128 after the shift folded in (128 << 8), every value is non-negative below
// 65536 and a logical shift gives the byte.
constexpr int kChromaBias = 128 + (128 << 8);

// Four bytes as the dword that holds them in memory order; the fourth is below 128.
constexpr int PackedBytes(int first, int second, int third, int fourth) {
  return (first & 0xFF) | ((second & 0xFF) << 8) | ((third & 0xFF) << 16) | ((fourth & 0x7F) << 24);
}

// uByte | (vSum & secondByte) as one three-input logic operation (A | (B & C)).
constexpr int kOrOfAnd = 0xF8;

struct Constants {
  __m512i signFlip = _mm512_set1_epi8(static_cast<char>(0x80));
  __m512i lumaWeights = _mm512_set1_epi32(PackedBytes(25, 129, 66, 0));
  __m512i wordOnes = _mm512_set1_epi16(1);
  __m512i lumaBias = _mm512_set1_epi32(kLumaBias);
  // Puts each channel of two neighbouring pixels side by side: b0 b1 g0 g1 r0 r1 a0 a1.
  __m512i pairChannels = _mm512_broadcast_i32x4(_mm_setr_epi32(PackedBytes(0, 4, 1, 5),
                                                               PackedBytes(2, 6, 3, 7),
                                                               PackedBytes(8, 12, 9, 13),
                                                               PackedBytes(10, 14, 11, 15)));
  __m512i byteOnes = _mm512_set1_epi8(1);
  // Signed byte weights of (b, g, r, a) for U and V.
  __m512i uWeights = _mm512_set1_epi32(PackedBytes(112, -74, -38, 0));
  __m512i vWeights = _mm512_set1_epi32(PackedBytes(-18, -94, 112, 0));
  __m512i chromaBias = _mm512_set1_epi32(kChromaBias);
  __m512i secondByte = _mm512_set1_epi32(0xFF00);
  // Packing works within 128-bit lanes: after packing four registers of dwords down to bytes,
  // lane i holds dwords 4i..4i+3 of each. This puts the 4-byte groups back in order.
  __m512i laneOrder = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
};

// 16 pixels to 16 luma dwords.
inline __m512i LumaDwords(const Constants& c, __m512i pixels) {
  const __m512i pairs = _mm512_maddubs_epi16(c.lumaWeights, _mm512_xor_si512(pixels, c.signFlip));
  const __m512i sums = _mm512_madd_epi16(pairs, c.wordOnes);
  return _mm512_srli_epi32(_mm512_add_epi32(sums, c.lumaBias), 8);
}

// 64 pixels of one row to their 64 luma bytes.
inline __m512i Luma(const Constants& c, const __m512i pixels[4]) {
  const __m512i low = _mm512_packus_epi32(LumaDwords(c, pixels[0]), LumaDwords(c, pixels[1]));
  const __m512i high = _mm512_packus_epi32(LumaDwords(c, pixels[2]), LumaDwords(c, pixels[3]));
  return _mm512_permutexvar_epi32(c.laneOrder, _mm512_packus_epi16(low, high));
}

// 16 pixels of two rows to the truncated averages (b, g, r, a) of their eight 2 × 2 blocks, as
// words. The sums reach at most 1020, so 16 bits hold them.
inline __m512i BlockAverages(const Constants& c, __m512i top, __m512i bottom) {
  const __m512i topSums =
      _mm512_maddubs_epi16(_mm512_shuffle_epi8(top, c.pairChannels), c.byteOnes);
  const __m512i bottomSums =
      _mm512_maddubs_epi16(_mm512_shuffle_epi8(bottom, c.pairChannels), c.byteOnes);
  return _mm512_srli_epi16(_mm512_add_epi16(topSums, bottomSums), 2);
}

// 16 blocks' averages, as bytes, to one dword per block holding U in its low byte and V in the
// next. Each weighted pair of a block stays within 16 bits: 112b - 74g in [-18870, 28560],
// -18b - 94g in [-28560, 0].
inline __m512i ChromaPairs(const Constants& c, __m512i averages) {
  const __m512i u = _mm512_madd_epi16(_mm512_maddubs_epi16(averages, c.uWeights), c.wordOnes);
  const __m512i v = _mm512_madd_epi16(_mm512_maddubs_epi16(averages, c.vWeights), c.wordOnes);
  const __m512i uByte = _mm512_srli_epi32(_mm512_add_epi32(u, c.chromaBias), 8);
  return _mm512_ternarylogic_epi32(uByte, _mm512_add_epi32(v, c.chromaBias), c.secondByte,
                                   kOrOfAnd);
}

// The chroma row of 64 pixels of two rows: 32 U/V pairs.
inline __m512i Chroma(const Constants& c, const __m512i top[4], const __m512i bottom[4]) {
  const __m512i first =
      _mm512_packus_epi16(BlockAverages(c, top[0], bottom[0]), BlockAverages(c, top[1], bottom[1]));
  const __m512i second =
      _mm512_packus_epi16(BlockAverages(c, top[2], bottom[2]), BlockAverages(c, top[3], bottom[3]));
  const __m512i pairs = _mm512_packus_epi32(ChromaPairs(c, first), ChromaPairs(c, second));
  return _mm512_permutexvar_epi32(c.laneOrder, pairs);
}

constexpr int32_t kBlockWidth = 64;
constexpr int kRegisters = 4;  // registers of 16 pixels in a block's row

// The first `bytes` of 64 (all of them from 64 on).
inline __mmask64 LeadingBytes(int32_t bytes) {
  return bytes >= 64 ? ~__mmask64{0} : (__mmask64{1} << (bytes > 0 ? bytes : 0)) - 1;
}

}  // namespace

int32_t ConvertRowPairAvx512(const uint8_t* top,
                             const uint8_t* bottom,
                             int32_t width,
                             uint8_t* lumaTop,
                             uint8_t* lumaBottom,
                             uint8_t* chroma) {
  const Constants c;
  const int32_t columns = width & ~1;  // an odd last column is the caller's
  int32_t x = 0;
  for (; x + kBlockWidth <= columns; x += kBlockWidth) {
    __m512i upper[kRegisters];
    __m512i lower[kRegisters];
    for (int i = 0; i < kRegisters; ++i) {
      upper[i] = _mm512_loadu_si512(top + 4 * x + 64 * i);
      lower[i] = _mm512_loadu_si512(bottom + 4 * x + 64 * i);
    }
    _mm512_storeu_si512(lumaTop + x, Luma(c, upper));
    _mm512_storeu_si512(lumaBottom + x, Luma(c, lower));
    _mm512_storeu_si512(chroma + x, Chroma(c, upper, lower));
  }
  if (x < columns) {
    // Masked loads neither read nor fault beyond the row; masked-off pixels read as zero and
    // their results are not stored.
    const int32_t rest = columns - x;
    __m512i upper[kRegisters];
    __m512i lower[kRegisters];
    for (int i = 0; i < kRegisters; ++i) {
      const __mmask64 bytes = LeadingBytes(4 * rest - 64 * i);
      upper[i] = _mm512_maskz_loadu_epi8(bytes, top + 4 * x + 64 * i);
      lower[i] = _mm512_maskz_loadu_epi8(bytes, bottom + 4 * x + 64 * i);
    }
    const __mmask64 stored = LeadingBytes(rest);
    _mm512_mask_storeu_epi8(lumaTop + x, stored, Luma(c, upper));
    _mm512_mask_storeu_epi8(lumaBottom + x, stored, Luma(c, lower));
    _mm512_mask_storeu_epi8(chroma + x, stored, Chroma(c, upper, lower));
  }
  return columns;
}

}  // namespace halvex

#endif  // HALVEX_NV12_X86_64
