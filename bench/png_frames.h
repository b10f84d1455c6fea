// Folders of PNG frames for the end-to-end benchmarks, made once and kept between runs.
#ifndef HALVEX_BENCH_PNG_FRAMES_H_
#define HALVEX_BENCH_PNG_FRAMES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::bench {

// Encodes BGRA rows of 4 × width bytes as an 8-bit RGB PNG (alpha dropped; the frames are opaque).
// Empty on failure.
std::vector<uint8_t> EncodePng(int32_t width, int32_t height, const std::vector<uint8_t>& bgra);

// Makes `folder` hold `count` camera-like frames of the given size as 0001.png, 0002.png, ...,
// unless it already holds exactly those. Returns the file names in order; empty on failure.
std::vector<std::string> PrepareFrameFolder(const std::string& folder,
                                            int32_t count,
                                            int32_t width,
                                            int32_t height);

std::vector<uint8_t> ReadFile(const std::string& path);

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_PNG_FRAMES_H_
