// Measures the media engines: PNG decoding, H.264 encoding rate and how long a write blocks its
// caller. Not a test: run it by hand on an optimised build and read the numbers.
#include <combaseapi.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "media_mp4_writer.h"
#include "media_png_decoder.h"
#include "png_maker.h"
#include "scratch_folder.h"

namespace halvex::media_testing {
namespace {

using Clock = std::chrono::steady_clock;
using platform::media::Mp4Error;
using platform::media::Mp4Layout;
using platform::media::Mp4VideoFormat;
using platform::media::Mp4Writer;
using platform::media::Nv12Picture;
using platform::media::PngDecoder;
using platform::media::PngLimits;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Smooth shading with sensor-like noise: compresses like a photograph.
std::vector<std::uint8_t> PhotoLike(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bgra(std::size_t{width} * height * 4);
  std::uint32_t noise = 12345;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int n = static_cast<int>(noise >> 28) - 8;
      std::uint8_t* p = bgra.data() + (std::size_t{y} * width + x) * 4;
      const double fx = static_cast<double>(x) / width;
      const double fy = static_cast<double>(y) / height;
      p[0] = static_cast<std::uint8_t>(std::clamp(60 + 120 * fy + n, 0.0, 255.0));
      p[1] = static_cast<std::uint8_t>(std::clamp(90 + 80 * std::sin(fx * 9) * fy + n, 0.0, 255.0));
      p[2] = static_cast<std::uint8_t>(std::clamp(200 - 150 * fx + n, 0.0, 255.0));
      p[3] = 255;
    }
  }
  return bgra;
}

// Large areas of one colour, as a user interface screenshot has.
std::vector<std::uint8_t> Flat(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bgra(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = bgra.data() + (std::size_t{y} * width + x) * 4;
      const bool panel = x > width / 4 && x < width * 3 / 4 && y > height / 5;
      p[0] = panel ? 240 : 40;
      p[1] = panel ? 240 : 40;
      p[2] = panel ? 240 : 48;
      p[3] = 255;
    }
  }
  return bgra;
}

void BenchmarkDecode(const char* name, const std::vector<std::uint8_t>& bgra) {
  const std::vector<std::uint8_t> file = EncodeBgraPng(1920, 1080, bgra);
  std::vector<std::uint8_t> pixels(bgra.size());
  constexpr int kRounds = 20;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    std::unique_ptr<PngDecoder> decoder;
    PngDecoder::Open(file.data(), file.size(), PngLimits(), &decoder);
    decoder->OpenFrame();
    decoder->CopyPixels(nullptr, 1920 * 4, static_cast<std::uint32_t>(pixels.size()),
                        pixels.data());
  }
  std::printf("decode 1080p %-10s %7zu KiB PNG: %6.1f ms per image\n", name, file.size() / 1024,
              Milliseconds(Clock::now() - start) / kRounds);
}

std::vector<std::uint8_t> Nv12Picture1(std::uint32_t width, std::uint32_t height, int index) {
  std::vector<std::uint8_t> picture(std::size_t{width} * height * 3 / 2);
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      picture[std::size_t{y} * width + x] =
          static_cast<std::uint8_t>(16 + (x + y * 2 + static_cast<std::uint32_t>(index) * 4) % 200);
    }
  }
  std::fill(picture.begin() + static_cast<long>(std::size_t{width} * height), picture.end(), 128);
  return picture;
}

// Encodes `frames` pictures as fast as the writer takes them; with `paced`, at 30 per second as
// a recording arrives. Prints the rate and how long each write held the caller.
void BenchmarkEncode(std::uint32_t width, std::uint32_t height, int frames, bool paced) {
  ScratchFolder folder;
  std::unique_ptr<Mp4Writer> writer;
  Mp4Writer::Create(folder.File("bench.mp4"), Mp4Layout::kPlain, /*any_name=*/false, &writer);
  Mp4VideoFormat format;
  format.width = width;
  format.height = height;
  format.bit_rate = width * height * 3;
  format.frame_rate_numerator = 30;
  writer->AddVideoStream(format, nullptr);
  writer->Begin();
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 0; i < 8; ++i) {
    pictures.push_back(Nv12Picture1(width, height, i));
  }
  std::vector<double> blocked;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    if (paced) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * i);
    }
    auto bytes =
        std::make_shared<std::vector<std::uint8_t>>(pictures[static_cast<std::size_t>(i) % 8]);
    Nv12Picture picture;
    picture.data = bytes->data();
    picture.size = bytes->size();
    picture.pitch = width;
    picture.owner = bytes;
    const Clock::time_point before = Clock::now();
    const Mp4Error error = writer->WriteVideo(0, picture, i * 333333LL, 333333);
    blocked.push_back(Milliseconds(Clock::now() - before));
    if (error != Mp4Error::kNone) {
      std::printf("write failed: %s\n", platform::media::Mp4ErrorName(error));
      return;
    }
  }
  const Mp4Error finalized = writer->Finalize();
  const double seconds = Milliseconds(Clock::now() - start) / 1000.0;
  std::sort(blocked.begin(), blocked.end());
  double sum = 0;
  for (double b : blocked) {
    sum += b;
  }
  std::printf(
      "encode %4ux%-4u %s: %6.1f frames/s overall, write blocks %.3f ms mean, %.3f ms p95 (%s)\n",
      width, height, paced ? "paced at 30 fps" : "flat out       ",
      paced ? frames / seconds : frames / seconds, sum / static_cast<double>(blocked.size()),
      blocked[blocked.size() * 95 / 100], platform::media::Mp4ErrorName(finalized));
}

// The same through the sink writer, as the recorder calls it: a fresh sample and buffer per frame,
// the picture copied in, and only WriteSample timed.
void BenchmarkSinkWriter(std::uint32_t width, std::uint32_t height, int frames) {
  ScratchFolder folder;
  const std::string path = folder.File("bench.mp4");
  const std::wstring url(path.begin(), path.end());
  IMFSinkWriter* writer = nullptr;
  if (FAILED(MFCreateSinkWriterFromURL(url.c_str(), nullptr, nullptr, &writer))) {
    std::printf("no writer\n");
    return;
  }
  const std::uint32_t pitch = (width + 15) & ~15u;
  IMFMediaType* output = nullptr;
  IMFMediaType* input = nullptr;
  MFCreateMediaType(&output);
  output->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  output->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
  output->SetUINT32(MF_MT_AVG_BITRATE, width * height * 3);
  output->SetUINT64(MF_MT_FRAME_SIZE, (UINT64{width} << 32) | height);
  output->SetUINT64(MF_MT_FRAME_RATE, (UINT64{30} << 32) | 1);
  MFCreateMediaType(&input);
  input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  input->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
  input->SetUINT64(MF_MT_FRAME_SIZE, (UINT64{width} << 32) | height);
  input->SetUINT64(MF_MT_FRAME_RATE, (UINT64{30} << 32) | 1);
  input->SetUINT32(MF_MT_DEFAULT_STRIDE, pitch);
  DWORD stream = 0;
  writer->AddStream(output, &stream);
  writer->SetInputMediaType(stream, input, nullptr);
  output->Release();
  input->Release();
  writer->BeginWriting();
  const std::size_t size = std::size_t{pitch} * height * 3 / 2;
  std::vector<std::vector<std::uint8_t>> pictures;
  for (int i = 0; i < 8; ++i) {
    pictures.push_back(Nv12Picture1(pitch, height, i));
  }
  std::vector<double> blocked;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < frames; ++i) {
    std::this_thread::sleep_until(start + std::chrono::microseconds(33333) * i);
    IMFSample* sample = nullptr;
    IMFMediaBuffer* buffer = nullptr;
    MFCreateSample(&sample);
    MFCreateMemoryBuffer(static_cast<DWORD>(size), &buffer);
    BYTE* bytes = nullptr;
    buffer->Lock(&bytes, nullptr, nullptr);
    std::copy(pictures[static_cast<std::size_t>(i) % 8].begin(),
              pictures[static_cast<std::size_t>(i) % 8].end(), bytes);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(size));
    sample->AddBuffer(buffer);
    buffer->Release();
    sample->SetSampleTime(i * 333333LL);
    sample->SetSampleDuration(333333);
    const Clock::time_point before = Clock::now();
    writer->WriteSample(stream, sample);
    blocked.push_back(Milliseconds(Clock::now() - before));
    sample->Release();
  }
  const HRESULT finalized = writer->Finalize();
  writer->Release();
  std::sort(blocked.begin(), blocked.end());
  double sum = 0;
  for (double b : blocked) {
    sum += b;
  }
  std::printf(
      "WriteSample %4ux%-4u paced at 30 fps: %.3f ms mean, %.3f ms median, %.3f ms p95 (%s)\n",
      width, height, sum / static_cast<double>(blocked.size()), blocked[blocked.size() / 2],
      blocked[blocked.size() * 95 / 100], SUCCEEDED(finalized) ? "finalized" : "failed");
}

}  // namespace
}  // namespace halvex::media_testing

int main() {
  using namespace halvex::media_testing;
  BenchmarkDecode("photo-like", PhotoLike(1920, 1080));
  BenchmarkDecode("flat", Flat(1920, 1080));
  BenchmarkEncode(1280, 720, 300, false);
  BenchmarkEncode(1920, 1080, 200, false);
  BenchmarkEncode(1280, 720, 90, true);
  BenchmarkEncode(1920, 1080, 90, true);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MFStartup(MF_VERSION);
  BenchmarkSinkWriter(1280, 720, 90);
  BenchmarkSinkWriter(1920, 1080, 90);
  return 0;
}
