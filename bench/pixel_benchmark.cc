// BGRA to NV12 conversion and nearest-neighbour scaling, each against the leading library's
// equivalent and against memcpy of the same bytes, on one frame kept in cache.
#include <benchmark/benchmark.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/cpu_id.h>
#include <libyuv/scale_argb.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/comparison_report.h"
#include "bench/frame_content.h"
#include "recorder/nv12.h"
#include "recorder/nv12_paths.h"
#include "recorder/scale.h"
#include "recorder/scale_paths.h"

namespace halvex::bench {
namespace {

struct FrameSize {
  const char* name;
  int32_t width;
  int32_t height;
};

constexpr FrameSize kSizes[] = {{"720p", 1280, 720}, {"1080p", 1920, 1080}};

int32_t PitchFor(int32_t width) {
  return (width + 15) & ~15;
}

void ConvertOn(benchmark::State& state, FrameSize size, Nv12Path path) {
  if (!Nv12PathSupported(path)) {
    state.SkipWithError("path not supported here");
    return;
  }
  const std::vector<uint8_t> frame = CameraLikeFrame(size.width, size.height, 0);
  const int32_t pitch = PitchFor(size.width);
  std::vector<uint8_t> nv12(Nv12Size(pitch, size.height));
  for (auto _ : state) {
    ConvertBgraToNv12On(path, frame.data(), 4 * size.width, size.width, size.height, pitch,
                        nv12.data());
    benchmark::DoNotOptimize(nv12.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}

void ConvertDispatched(benchmark::State& state, FrameSize size) {
  const std::vector<uint8_t> frame = CameraLikeFrame(size.width, size.height, 0);
  const int32_t pitch = PitchFor(size.width);
  std::vector<uint8_t> nv12(Nv12Size(pitch, size.height));
  for (auto _ : state) {
    ConvertBgraToNv12(frame.data(), 4 * size.width, size.width, size.height, pitch, nv12.data());
    benchmark::DoNotOptimize(nv12.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}

// The library's "ARGB" is blue, green, red, alpha in memory: our frames' byte order.
void ConvertLibyuv(benchmark::State& state, FrameSize size) {
  const std::vector<uint8_t> frame = CameraLikeFrame(size.width, size.height, 0);
  const int32_t pitch = PitchFor(size.width);
  std::vector<uint8_t> nv12(Nv12Size(pitch, size.height));
  uint8_t* chroma = nv12.data() + static_cast<size_t>(pitch) * size.height;
  for (auto _ : state) {
    libyuv::ARGBToNV12(frame.data(), 4 * size.width, nv12.data(), pitch, chroma, pitch, size.width,
                       size.height);
    benchmark::DoNotOptimize(nv12.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}

// The same with the library held to the instruction sets below AVX, as a yardstick for our SSE2
// path on processors without AVX2.
void ConvertLibyuvWithoutAvx(benchmark::State& state, FrameSize size) {
  libyuv::MaskCpuFlags(libyuv::kCpuHasX86 | libyuv::kCpuHasSSE2 | libyuv::kCpuHasSSSE3 |
                       libyuv::kCpuHasSSE41 | libyuv::kCpuHasSSE42);
  ConvertLibyuv(state, size);
  libyuv::MaskCpuFlags(-1);
}

void CopyFrame(benchmark::State& state, FrameSize size) {
  const std::vector<uint8_t> frame = CameraLikeFrame(size.width, size.height, 0);
  std::vector<uint8_t> copy(frame.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), frame.data(), frame.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}

void ScaleOurs(benchmark::State& state, FrameSize from, FrameSize to) {
  const std::vector<uint8_t> frame = CameraLikeFrame(from.width, from.height, 0);
  std::vector<uint8_t> scaled(static_cast<size_t>(to.width) * to.height * 4);
  for (auto _ : state) {
    ScaleNearest(frame.data(), 4 * from.width, from.width, from.height, scaled.data(), to.width,
                 to.height);
    benchmark::DoNotOptimize(scaled.data());
    benchmark::ClobberMemory();
  }
}

void ScaleOn(benchmark::State& state, FrameSize from, FrameSize to, ScalePath path) {
  if (!ScalePathSupported(path)) {
    state.SkipWithError("path not supported here");
    return;
  }
  const std::vector<uint8_t> frame = CameraLikeFrame(from.width, from.height, 0);
  std::vector<uint8_t> scaled(static_cast<size_t>(to.width) * to.height * 4);
  for (auto _ : state) {
    ScaleNearestOn(path, frame.data(), 4 * from.width, from.width, from.height, scaled.data(),
                   to.width, to.height);
    benchmark::DoNotOptimize(scaled.data());
    benchmark::ClobberMemory();
  }
}

void ScaleLibyuv(benchmark::State& state, FrameSize from, FrameSize to) {
  const std::vector<uint8_t> frame = CameraLikeFrame(from.width, from.height, 0);
  std::vector<uint8_t> scaled(static_cast<size_t>(to.width) * to.height * 4);
  for (auto _ : state) {
    libyuv::ARGBScale(frame.data(), 4 * from.width, from.width, from.height, scaled.data(),
                      4 * to.width, to.width, to.height, libyuv::kFilterNone);
    benchmark::DoNotOptimize(scaled.data());
    benchmark::ClobberMemory();
  }
}

std::vector<Comparison> RegisterAll() {
  std::vector<Comparison> comparisons;
  for (const FrameSize& size : kSizes) {
    const std::string prefix = std::string("nv12/") + size.name + "/";
    benchmark::RegisterBenchmark((prefix + "ours").c_str(), ConvertDispatched, size);
    benchmark::RegisterBenchmark((prefix + "libyuv").c_str(), ConvertLibyuv, size);
    benchmark::RegisterBenchmark((prefix + "memcpy").c_str(), CopyFrame, size);
    benchmark::RegisterBenchmark((prefix + "portable").c_str(), ConvertOn, size,
                                 Nv12Path::kPortable);
    benchmark::RegisterBenchmark((prefix + "sse2").c_str(), ConvertOn, size, Nv12Path::kSse2);
    benchmark::RegisterBenchmark((prefix + "avx2").c_str(), ConvertOn, size, Nv12Path::kAvx2);
    benchmark::RegisterBenchmark((prefix + "avx512").c_str(), ConvertOn, size, Nv12Path::kAvx512);
    const std::string label = std::string("nv12 ") + size.name;
    comparisons.push_back({label, prefix + "ours", prefix + "libyuv", "ours/libyuv", 1.0});
    comparisons.push_back({label, prefix + "ours", prefix + "memcpy", "ours/memcpy", 2.0});
    benchmark::RegisterBenchmark((prefix + "libyuv-sse").c_str(), ConvertLibyuvWithoutAvx, size);
    // For processors without AVX2; the library's path there needs SSSE3, ours only SSE2.
    comparisons.push_back({label + " without AVX", prefix + "sse2", prefix + "libyuv-sse",
                           "ours-sse2/libyuv-ssse3", 0});
  }
  const FrameSize small = kSizes[0];
  const FrameSize large = kSizes[1];
  for (const auto& [from, to] : {std::pair{small, large}, std::pair{large, small}}) {
    const std::string prefix = std::string("scale/") + from.name + "-" + to.name + "/";
    benchmark::RegisterBenchmark((prefix + "ours").c_str(), ScaleOurs, from, to);
    benchmark::RegisterBenchmark((prefix + "libyuv").c_str(), ScaleLibyuv, from, to);
    benchmark::RegisterBenchmark((prefix + "portable").c_str(), ScaleOn, from, to,
                                 ScalePath::kPortable);
    benchmark::RegisterBenchmark((prefix + "avx512").c_str(), ScaleOn, from, to,
                                 ScalePath::kAvx512);
    comparisons.push_back({std::string("scale ") + from.name + " -> " + to.name, prefix + "ours",
                           prefix + "libyuv", "ours/libyuv", 1.0});
  }
  return comparisons;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  const std::vector<halvex::bench::Comparison> comparisons = halvex::bench::RegisterAll();
  return halvex::bench::RunBenchmarksAndCompare(argc, argv, comparisons);
}
