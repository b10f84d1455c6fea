// Finishing a 10-minute 1080p recording in place against copying it once: finishing reads the
// fragments' headers and writes one index, so it must cost a small fraction of moving the media.
// The recording is synthetic (6.2 Mbit/s of video at 30 fps in 2 s fragments, 48 kHz AAC-sized
// audio frames, random payload bytes; about 470 MB) and written once into the working folder.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/comparison_report.h"
#include "mp4/box.h"
#include "mp4/finish_recording.h"
#include "mp4/testing/fragmented_mp4_builder.h"
#include "mp4/windows_file.h"

namespace halvex::bench {
namespace {

using mp4::testing::BaseOffset;
using mp4::testing::BuilderFragment;
using mp4::testing::BuilderMovie;
using mp4::testing::BuilderRun;
using mp4::testing::BuilderSample;
using mp4::testing::BuilderTrackFragment;

constexpr char kRecording[] = "mp4-finish-benchmark.mp4";
constexpr char kCopy[] = "mp4-finish-benchmark-copy.mp4";
constexpr int kSeconds = 600;
constexpr int kFragmentSeconds = 2;
constexpr int kFramesPerSecond = 30;
constexpr std::uint32_t kVideoBytesPerSecond = 6200000 / 8;
constexpr std::uint32_t kAudioFrameBytes = 340;  // ~128 kbit/s of 1024-sample frames

// What finishing changes, to put back before the next run: the mdat header's bytes and the
// file's length.
struct Original {
  std::uint64_t size = 0;
  std::uint64_t header_at = 0;
  std::vector<std::uint8_t> header;
};

Original& TheOriginal() {
  static Original original;
  return original;
}

BuilderMovie Movie() {
  BuilderMovie movie;
  movie.tracks.resize(2);
  movie.tracks[0].track_id = 1;
  movie.tracks[1].track_id = 2;
  movie.tracks[1].handler = mp4::FourCc("soun");
  movie.tracks[1].codec = mp4::FourCc("mp4a");
  movie.tracks[1].timescale = 48000;
  return movie;
}

BuilderFragment Fragment(int index) {
  BuilderFragment fragment;
  fragment.base = BaseOffset::kDefaultBaseIsMoof;
  BuilderTrackFragment video;
  video.track_id = 1;
  video.decode_time = 90000ull * kFragmentSeconds * index;
  BuilderRun frames;
  const int count = kFramesPerSecond * kFragmentSeconds;
  // A key frame four times the size of the others, the average at the bit rate.
  const std::uint32_t other = kVideoBytesPerSecond * kFragmentSeconds / (count + 3);
  for (int i = 0; i < count; ++i) {
    frames.samples.push_back(BuilderSample{
        i == 0 ? 4 * other : other, 3000,
        i == 0 ? mp4::testing::kSyncSampleFlags : mp4::testing::kNonSyncSampleFlags, 0});
  }
  video.runs.push_back(frames);
  fragment.track_fragments.push_back(video);

  BuilderTrackFragment audio;
  audio.track_id = 2;
  const std::uint64_t first = (48000ull * kFragmentSeconds * index + 1023) / 1024;
  const std::uint64_t end = (48000ull * kFragmentSeconds * (index + 1) + 1023) / 1024;
  audio.decode_time = first * 1024;
  BuilderRun sound;
  sound.samples.assign(static_cast<std::size_t>(end - first),
                       BuilderSample{kAudioFrameBytes, 1024, mp4::testing::kSyncSampleFlags, 0});
  audio.runs.push_back(sound);
  fragment.track_fragments.push_back(audio);
  return fragment;
}

bool WriteAll(int descriptor, const std::vector<std::uint8_t>& bytes, off_t at) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count =
        pwrite(descriptor, bytes.data() + done, bytes.size() - done, at + static_cast<off_t>(done));
    if (count <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(count);
  }
  return true;
}

bool WriteRecording() {
  const int descriptor = open(kRecording, O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (descriptor < 0) {
    return false;
  }
  const BuilderMovie movie = Movie();
  std::vector<std::uint8_t> bytes = mp4::testing::BuildHeader(movie);
  bool ok = WriteAll(descriptor, bytes, 0);
  std::uint64_t size = bytes.size();
  Original& original = TheOriginal();
  original.header_at = 28;  // the builder's ftyp
  original.header.assign(bytes.begin() + 28, bytes.begin() + 44);
  std::vector<mp4::testing::PlacedSample> placed;
  for (int index = 0; ok && index < kSeconds / kFragmentSeconds; ++index) {
    placed.clear();
    bytes = mp4::testing::BuildFragment(movie, Fragment(index), size,
                                        static_cast<std::uint32_t>(index + 1), &placed);
    ok = WriteAll(descriptor, bytes, static_cast<off_t>(size));
    size += bytes.size();
  }
  original.size = size;
  ok = ok && fsync(descriptor) == 0;
  close(descriptor);
  std::printf("recording: %.0f MB in %d fragments\n", size / 1e6, kSeconds / kFragmentSeconds);
  return ok;
}

bool RestoreRecording() {
  const Original& original = TheOriginal();
  const int descriptor = open(kRecording, O_WRONLY);
  const bool ok = descriptor >= 0 &&
                  WriteAll(descriptor, original.header, static_cast<off_t>(original.header_at)) &&
                  ftruncate(descriptor, static_cast<off_t>(original.size)) == 0 &&
                  fsync(descriptor) == 0;
  if (descriptor >= 0) {
    close(descriptor);
  }
  return ok;
}

void BM_FinishRecording(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    if (!RestoreRecording()) {
      state.SkipWithError("cannot restore the recording");
      break;
    }
    state.ResumeTiming();
    DWORD error = 0;
    std::unique_ptr<mp4::WindowsFile> file =
        mp4::WindowsFile::Open(L"mp4-finish-benchmark.mp4", &error);
    const mp4::FinishReport report = file ? mp4::FinishRecording(*file) : mp4::FinishReport{};
    if (report.status != mp4::FinishStatus::kFinished) {
      state.SkipWithError(("not finished: " + report.reason).c_str());
      break;
    }
  }
}
BENCHMARK(BM_FinishRecording)->Unit(benchmark::kMillisecond);

// The reference: copying the recording once, made durable as finishing is.
void BM_CopyRecording(benchmark::State& state) {
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    const int from = open(kRecording, O_RDONLY);
    const int to = open(kCopy, O_CREAT | O_TRUNC | O_WRONLY, 0644);
    bool ok = from >= 0 && to >= 0;
    ssize_t count = 0;
    while (ok && (count = read(from, buffer.data(), buffer.size())) > 0) {
      ok = write(to, buffer.data(), static_cast<std::size_t>(count)) == count;
    }
    ok = ok && count == 0 && fsync(to) == 0;
    if (from >= 0) {
      close(from);
    }
    if (to >= 0) {
      close(to);
    }
    state.PauseTiming();
    std::remove(kCopy);
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("cannot copy the recording");
      break;
    }
  }
}
BENCHMARK(BM_CopyRecording)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  if (!halvex::bench::WriteRecording()) {
    std::printf("cannot write %s\n", halvex::bench::kRecording);
    return 1;
  }
  const int status = halvex::bench::RunBenchmarksAndCompare(
      argc, argv,
      {{"finish a 10-minute 1080p recording in place", "BM_FinishRecording", "BM_CopyRecording",
        "finish/copy", 0.05}});
  std::remove(halvex::bench::kRecording);
  return status;
}
