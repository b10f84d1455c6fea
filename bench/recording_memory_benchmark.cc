// Memory while recording 1080p frames through the recorder channel with the real media behind the
// stand-ins: the peak resident memory, and whether what the recording holds stays flat over a long
// recording. A buffer kept per frame would show as growth of megabytes per frame (one 1080p frame
// is 8 MB as BGRA).
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <objbase.h>
#include <unistd.h>
#include <windows_testing/com.h>

#include "bench/comparison_report.h"
#include "bench/direct_messenger.h"
#include "bench/png_frames.h"
#include "messaging/encodable_value.h"
#include "recorder/recorder_channel.h"

namespace halvex::bench {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kDistinctFrames = 10;
// Growth of the heap in use allowed from the end of the warm-up to the end: the container's index
// and the stand-ins' inspection records grow by some bytes per frame; a leaked frame buffer would
// not fit.
constexpr double kAllowedGrowthMegabytes = 1.0;
// How long the heap in use must stay the same to count as settled, how often it is read while
// waiting, and how long to wait at most (see SettledHeapInUseMegabytes).
constexpr std::chrono::milliseconds kSettled{1000};
constexpr std::chrono::milliseconds kSettlePoll{20};
constexpr std::chrono::seconds kSettleDeadline{60};

struct Options {
  int32_t frames = 3000;
  std::string folder = "bench-frames/1080p";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--frames=", 9) == 0) {
      options.frames = std::max(20, std::atoi(argv[i] + 9));
    } else if (std::strncmp(argv[i], "--folder=", 9) == 0) {
      options.folder = argv[i] + 9;
    }
  }
  return options;
}

// The Windows stand-in keeps the storage of every released COM object (up to 65536 of them) as a
// trap for calls through stale pointers: over a kilobyte per frame that the product on Windows
// does not have, so the benchmark frees them after every frame, before it reads the heap. Freeing
// them forgets the thread's COM initialisation, which is made again.
void FreeStandInTombstones() {
  halvex::testing::ResetComModel();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

// What the process's allocations hold, in megabytes: the bytes its code asked the allocator for
// and has not freed, in every arena and in the separately mapped large blocks. Resident memory is
// no measure of that: it also counts the allocator's slack (freed chunks kept in each thread's
// arena for reuse, heap tops not yet trimmed, which depend on which thread freed what last) and it
// moves in whole pages, 2 MB at a time where transparent huge pages back the heap.
double HeapInUseMegabytes() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// The heap in use once it has stayed the same for a while: the writer has encoded every frame
// queued to it and its threads are idle. A reading taken while frames are still queued counts
// one 3 MB picture more or less depending on how far the encoder has got, which on a busy machine
// varies over hundreds of frames. `settled` tells whether it settled before the deadline.
double SettledHeapInUseMegabytes(bool* settled) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + kSettleDeadline;
  double reading = HeapInUseMegabytes();
  Clock::time_point unchangedSince = Clock::now();
  *settled = false;
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(kSettlePoll);
    const double next = HeapInUseMegabytes();
    if (next != reading) {
      reading = next;
      unchangedSince = Clock::now();
    } else if (Clock::now() - unchangedSince >= kSettled) {
      *settled = true;
      break;
    }
  }
  return reading;
}

// A field of /proc/self/status in megabytes ("VmRSS", "VmHWM"), or -1.
double StatusMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      return std::atof(line.c_str() + prefix.size()) / 1024.0;
    }
  }
  return -1;
}

int Run(const Options& options) {
  std::printf("Preparing %d PNG frames of %dx%d in %s\n", kDistinctFrames, kWidth, kHeight,
              options.folder.c_str());
  const std::vector<std::string> files =
      PrepareFrameFolder(options.folder, kDistinctFrames, kWidth, kHeight);
  if (files.empty()) {
    std::printf("could not write the frames\n");
    return 1;
  }
  std::vector<std::vector<uint8_t>> appendCalls;
  for (const std::string& file : files) {
    appendCalls.push_back(EncodeCall(
        "appendPng",
        EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(ReadFile(file))}})));
  }
  const std::filesystem::path output = std::filesystem::temp_directory_path() /
                                       ("halvex-bench-memory-" + std::to_string(getpid()) + ".mp4");

  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);
  std::vector<uint8_t> answer;
  messenger.Deliver(
      EncodeCall("start", EncodableValue(EncodableMap{
                              {EncodableValue("path"), EncodableValue(output.string())},
                              {EncodableValue("fps"), EncodableValue(30.0)},
                              {EncodableValue("enableAudio"), EncodableValue(false)},
                          })),
      &answer);
  const double before = StatusMegabytes("VmRSS");
  const int32_t warmUp = std::min(options.frames / 2, std::max(100, options.frames / 10));
  const int32_t step = std::max(1, options.frames / 10);
  double heapAfterWarmUp = 0;
  double residentAfterWarmUp = 0;
  bool settled = true;
  double peak = StatusMegabytes("VmHWM");
  std::printf("resident memory before the first frame: %.1f MB\n", before);
  for (int32_t frame = 0; frame < options.frames; ++frame) {
    messenger.Deliver(appendCalls[static_cast<size_t>(frame % kDistinctFrames)], &answer);
    FreeStandInTombstones();
    if (frame + 1 == warmUp) {
      heapAfterWarmUp = SettledHeapInUseMegabytes(&settled);
      residentAfterWarmUp = StatusMegabytes("VmRSS");
    }
    if ((frame + 1) % step == 0) {
      peak = std::max(peak, StatusMegabytes("VmHWM"));
      std::printf("  after %5d frames: heap in use %.2f MB, resident %.1f MB, peak %.1f MB\n",
                  frame + 1, HeapInUseMegabytes(), StatusMegabytes("VmRSS"), peak);
      std::fflush(stdout);
    }
  }
  bool settledAtEnd = false;
  const double heapAtEnd = SettledHeapInUseMegabytes(&settledAtEnd);
  const double residentAtEnd = StatusMegabytes("VmRSS");
  messenger.Deliver(EncodeCall("stop", EncodableValue()), &answer);
  const int32_t frames = FramesIn(DecodeSuccess(answer));
  peak = std::max(peak, StatusMegabytes("VmHWM"));
  std::error_code error;
  std::filesystem::remove(output, error);
  if (frames != options.frames) {
    std::printf("the host recorded %d of %d frames: is the real media writer in place?\n", frames,
                options.frames);
    return 1;
  }

  if (!settled || !settledAtEnd) {
    std::printf("the heap in use did not settle within %lld s: frames may still have been queued\n",
                static_cast<long long>(kSettleDeadline.count()));
  }
  const double growth = heapAtEnd - heapAfterWarmUp;
  std::printf(
      "\nrecording 1080p: peak resident memory = %.1f MB (no target)   [%.1f MB before "
      "the first frame]\n",
      peak, before);
  std::printf(
      "%s   [heap in use %.2f MB after %d frames, %.2f MB after %d; resident %.1f -> "
      "%.1f MB]\n",
      ComparisonLine("recording 1080p memory", "heap growth over the recording (MB)", growth,
                     "<= 1.00", settled && settledAtEnd && growth <= kAllowedGrowthMegabytes)
          .c_str(),
      heapAfterWarmUp, warmUp, heapAtEnd, options.frames, residentAfterWarmUp, residentAtEnd);
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
