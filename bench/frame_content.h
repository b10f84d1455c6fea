// Frames that look like what a camera application records: smooth shading, a few hard-edged
// shapes that move from frame to frame, and sensor-like noise.
#ifndef HALVEX_BENCH_FRAME_CONTENT_H_
#define HALVEX_BENCH_FRAME_CONTENT_H_

#include <cstdint>
#include <vector>

namespace halvex::bench {

// BGRA rows of 4 × width bytes, opaque; `index` moves the shapes and reseeds the noise.
std::vector<uint8_t> CameraLikeFrame(int32_t width, int32_t height, int32_t index);

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_FRAME_CONTENT_H_
