// The instruction-set paths of nearest-neighbour scaling. ScaleNearest picks the fastest one the
// processor runs; tests and benchmarks name a path to prove each gives the same bytes.
#ifndef HALVEX_RECORDER_SCALE_PATHS_H_
#define HALVEX_RECORDER_SCALE_PATHS_H_

#include <cstdint>

#if defined(__x86_64__) || defined(_M_X64)
#define HALVEX_SCALE_X86_64 1
#endif

namespace halvex {

enum class ScalePath {
  kPortable,  // plain C++, every processor
  kAvx512,    // F
};

// Whether this build contains `path` and the processor (and the operating system, which must
// save the wider registers) can run it. The answer is the same for the whole process.
bool ScalePathSupported(ScalePath path);

// The fastest supported path, decided on first use.
ScalePath FastestScalePath();

// ScaleNearest on the given path. Returns false, writing nothing, when the path is not supported;
// scaling with any supported path gives the same bytes.
bool ScaleNearestOn(ScalePath path,
                    const uint8_t* source,
                    int32_t sourceRowBytes,
                    int32_t sourceWidth,
                    int32_t sourceHeight,
                    uint8_t* destination,
                    int32_t destinationWidth,
                    int32_t destinationHeight);

#if HALVEX_SCALE_X86_64
// Fills one destination row of `width` 4-byte pixels: pixel x is pixel columns[x] of `row`.
// `columns` must not decrease and must lie in [0, sourceWidth); no byte of `row` beyond
// `sourceWidth` pixels is read. Defined in a file of its own, compiled for AVX-512; the signature
// uses nothing but built-in types, so that no inline code is shared with that file.
void GatherRowAvx512(const uint8_t* row,
                     int32_t sourceWidth,
                     const int32_t* columns,
                     int32_t width,
                     uint8_t* destination);
#endif

}  // namespace halvex

#endif  // HALVEX_RECORDER_SCALE_PATHS_H_
