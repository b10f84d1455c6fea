// The conversion's AVX2 columns, 32 pixels of two rows at a time. This file alone is compiled for
// AVX2 and runs only where the processor has it, so it includes no header with inline code that
// another file could share.
#include "recorder/nv12_paths.h"

#if HALVEX_NV12_X86_64
#include <immintrin.h>

namespace halvex {
namespace {

// Luma: the weights (25, 129, 66) do not fit the signed operand of the byte multiply-add, so they
// are the unsigned one and the pixels, offset by -128, the signed one. Each partial sum then stays
// within 16 bits: 25b + 129g in [-19712, 19558], 66r in [-8448, 8382], their total in
// [-28160, 27940]. Adding 28160 back, 128 for rounding and 16 << 8 gives the bias below.
constexpr int kLumaBias = 28160 + 128 + (16 << 8);

// Chroma: U and V of one block, before the final shift, lie in [-28560, 28560]; with 128 for
// rounding and the +128 after the shift folded in (128 << 8), every value is non-negative below
// 65536 and a logical shift gives the byte.
constexpr int kChromaBias = 128 + (128 << 8);

// Four bytes as the dword that holds them in memory order; the fourth is below 128.
constexpr int PackedBytes(int first, int second, int third, int fourth) {
  return (first & 0xFF) | ((second & 0xFF) << 8) | ((third & 0xFF) << 16) | ((fourth & 0x7F) << 24);
}

struct Constants {
  __m256i signFlip = _mm256_set1_epi8(static_cast<char>(0x80));
  __m256i lumaWeights = _mm256_set1_epi32(PackedBytes(25, 129, 66, 0));
  __m256i lumaBias = _mm256_set1_epi16(static_cast<short>(kLumaBias));
  // Puts each channel of two neighbouring pixels side by side: b0 b1 g0 g1 r0 r1 a0 a1.
  __m256i pairChannels = _mm256_broadcastsi128_si256(_mm_setr_epi32(PackedBytes(0, 4, 1, 5),
                                                                    PackedBytes(2, 6, 3, 7),
                                                                    PackedBytes(8, 12, 9, 13),
                                                                    PackedBytes(10, 14, 11, 15)));
  __m256i byteOnes = _mm256_set1_epi8(1);
  __m256i wordOnes = _mm256_set1_epi16(1);
  // Signed byte weights of (b, g, r, a) for U and V.
  __m256i uWeights = _mm256_set1_epi32(PackedBytes(112, -74, -38, 0));
  __m256i vWeights = _mm256_set1_epi32(PackedBytes(-18, -94, 112, 0));
  __m256i chromaBias = _mm256_set1_epi32(kChromaBias);
  __m256i secondByte = _mm256_set1_epi32(0xFF00);
  // Packing works within 128-bit lanes; this puts the 4-byte groups back in pixel order.
  __m256i laneOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
};

// 16 pixels to 16 luma words, in lane order.
inline __m256i LumaWords(const Constants& c, __m256i first, __m256i second) {
  const __m256i a = _mm256_maddubs_epi16(c.lumaWeights, _mm256_xor_si256(first, c.signFlip));
  const __m256i b = _mm256_maddubs_epi16(c.lumaWeights, _mm256_xor_si256(second, c.signFlip));
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_hadd_epi16(a, b), c.lumaBias), 8);
}

inline __m256i Load(const uint8_t* pixels) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
}

// 32 pixels of one row.
inline void ConvertLuma(const Constants& c, const uint8_t* row, uint8_t* destination) {
  const __m256i bytes = _mm256_packus_epi16(LumaWords(c, Load(row), Load(row + 32)),
                                            LumaWords(c, Load(row + 64), Load(row + 96)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination),
                      _mm256_permutevar8x32_epi32(bytes, c.laneOrder));
}

// 8 pixels of two rows to the truncated averages (b, g, r, a) of their four 2 × 2 blocks, as
// words. The sums reach at most 1020, so 16 bits hold them.
inline __m256i BlockAverages(const Constants& c, __m256i top, __m256i bottom) {
  const __m256i topSums =
      _mm256_maddubs_epi16(_mm256_shuffle_epi8(top, c.pairChannels), c.byteOnes);
  const __m256i bottomSums =
      _mm256_maddubs_epi16(_mm256_shuffle_epi8(bottom, c.pairChannels), c.byteOnes);
  return _mm256_srli_epi16(_mm256_add_epi16(topSums, bottomSums), 2);
}

// 8 blocks' averages, as bytes, to one dword per block holding U in its low byte and V in the
// next. Each weighted pair of a block stays within 16 bits: 112b - 74g in [-18870, 28560],
// -18b - 94g in [-28560, 0].
inline __m256i ChromaPairs(const Constants& c, __m256i averages) {
  const __m256i u = _mm256_madd_epi16(_mm256_maddubs_epi16(averages, c.uWeights), c.wordOnes);
  const __m256i v = _mm256_madd_epi16(_mm256_maddubs_epi16(averages, c.vWeights), c.wordOnes);
  const __m256i uByte = _mm256_srli_epi32(_mm256_add_epi32(u, c.chromaBias), 8);
  const __m256i vByte = _mm256_and_si256(_mm256_add_epi32(v, c.chromaBias), c.secondByte);
  return _mm256_or_si256(uByte, vByte);
}

// The chroma row of 32 pixels of two rows. The rows are loaded again rather than kept from the
// luma: 16 registers cannot hold them and the constants, and the loads hit the first-level cache.
inline void ConvertChroma(const Constants& c,
                          const uint8_t* top,
                          const uint8_t* bottom,
                          uint8_t* destination) {
  const __m256i first = _mm256_packus_epi16(BlockAverages(c, Load(top), Load(bottom)),
                                            BlockAverages(c, Load(top + 32), Load(bottom + 32)));
  const __m256i second = _mm256_packus_epi16(BlockAverages(c, Load(top + 64), Load(bottom + 64)),
                                             BlockAverages(c, Load(top + 96), Load(bottom + 96)));
  const __m256i pairs = _mm256_packus_epi32(ChromaPairs(c, first), ChromaPairs(c, second));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination),
                      _mm256_permutevar8x32_epi32(pairs, c.laneOrder));
}

inline void ConvertBlock(const Constants& c,
                         const uint8_t* top,
                         const uint8_t* bottom,
                         uint8_t* lumaTop,
                         uint8_t* lumaBottom,
                         uint8_t* chroma) {
  ConvertLuma(c, top, lumaTop);
  ConvertLuma(c, bottom, lumaBottom);
  ConvertChroma(c, top, bottom, chroma);
}

constexpr int32_t kBlockWidth = 32;

}  // namespace

int32_t ConvertRowPairAvx2(const uint8_t* top,
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
