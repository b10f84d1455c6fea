// The instruction-set paths of the BGRA to NV12 conversion. ConvertBgraToNv12 picks the fastest
// one the processor runs; tests and benchmarks name a path to prove each bit-exact on its own.
#ifndef HALVEX_RECORDER_NV12_PATHS_H_
#define HALVEX_RECORDER_NV12_PATHS_H_

#include <cstdint>

// SSE2 is part of every x86-64 processor; AVX2 and AVX-512 are chosen at run time.
#if defined(__x86_64__) || defined(_M_X64)
#define HALVEX_NV12_X86_64 1
#endif

namespace halvex {

enum class Nv12Path {
  kPortable,  // plain C++, every processor
  kSse2,      // x86-64 baseline
  kAvx2,
  kAvx512,  // F and BW
};

// Whether this build contains `path` and the processor (and the operating system, which must
// save the wider registers) can run it. The answer is the same for the whole process.
bool Nv12PathSupported(Nv12Path path);

// The fastest supported path, decided on first use.
Nv12Path FastestNv12Path();

// ConvertBgraToNv12 on the given path. Returns false, writing nothing, when the path is not
// supported; converting with any supported path gives the same bytes.
bool ConvertBgraToNv12On(Nv12Path path,
                         const uint8_t* source,
                         int32_t sourceRowBytes,
                         int32_t width,
                         int32_t height,
                         int32_t destinationPitch,
                         uint8_t* destination);

#if HALVEX_NV12_X86_64
// Converts the leading columns of two image rows: both luma rows and the chroma row between them.
// Returns how many columns were done, an even number not above `width`; the caller converts the
// rest. Reads no byte of a row beyond `width` pixels and writes none beyond `width` bytes.
// Defined in files of their own, each compiled for its own instruction set.
// The signature uses nothing but built-in types: no inline code may be shared with those files.
int32_t ConvertRowPairSse2(const uint8_t* top,
                           const uint8_t* bottom,
                           int32_t width,
                           uint8_t* lumaTop,
                           uint8_t* lumaBottom,
                           uint8_t* chroma);
int32_t ConvertRowPairAvx2(const uint8_t* top,
                           const uint8_t* bottom,
                           int32_t width,
                           uint8_t* lumaTop,
                           uint8_t* lumaBottom,
                           uint8_t* chroma);
int32_t ConvertRowPairAvx512(const uint8_t* top,
                             const uint8_t* bottom,
                             int32_t width,
                             uint8_t* lumaTop,
                             uint8_t* lumaBottom,
                             uint8_t* chroma);
#endif

}  // namespace halvex

#endif  // HALVEX_RECORDER_NV12_PATHS_H_
