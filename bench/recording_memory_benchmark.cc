// Memory while recording 1080p frames through the recorder channel with the real media behind the
// stand-ins: the peak resident memory, and whether what the recording holds stays flat over a long
// recording. A buffer kept per frame would show as growth of megabytes per frame (one 1080p frame
// is 8 MB as BGRA). Then the peak resident memory of a recording with three frames in flight
// (the channel queues them, decodes ahead and answers on the recorder's thread) against the same
// frames run one at a time on the calling thread through RecorderChannel, as before the queue;
// each in a process of its own, so that neither inherits the other's heap.
//
//   recording_memory_benchmark [--frames=3000] [--peak-frames=300] [--folder=bench-frames/1080p]
//   recording_memory_benchmark --peak=queued|direct ...   (one side of the peak comparison)
#include <malloc.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <objbase.h>
#include <unistd.h>
#include <windows_testing/com.h>

#include "bench/calls_in_flight.h"
#include "bench/comparison_report.h"
#include "bench/direct_messenger.h"
#include "bench/png_frames.h"
#include "messaging/encodable_value.h"
#include "messaging/engine_method_result.h"
#include "messaging/standard_method_codec.h"
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
// Peak resident memory allowed above the one-at-a-time recording's: the frames decoded ahead and
// the messages waiting.
constexpr double kAllowedPeakAboveDirectMegabytes = 64.0;
constexpr size_t kPeakFramesInFlight = 3;
constexpr char kPeakPrefix[] = "peak resident memory: ";

struct Options {
  int32_t frames = 3000;
  int32_t peakFrames = 300;
  std::string folder = "bench-frames/1080p";
  // Set in a child process: records once this way and prints its peak.
  std::string peak;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--frames=", 9) == 0) {
      options.frames = std::max(20, std::atoi(argv[i] + 9));
    } else if (std::strncmp(argv[i], "--peak-frames=", 14) == 0) {
      options.peakFrames = std::max(20, std::atoi(argv[i] + 14));
    } else if (std::strncmp(argv[i], "--folder=", 9) == 0) {
      options.folder = argv[i] + 9;
    } else if (std::strncmp(argv[i], "--peak=", 7) == 0) {
      options.peak = argv[i] + 7;
    }
  }
  return options;
}

// The Windows stand-in keeps the storage of every released COM object (up to 65536 of them) as a
// trap for calls through stale pointers: over a kilobyte per frame that the product on Windows
// does not have, so the benchmark frees them before it reads the heap. Freeing them forgets every
// thread's COM initialisation; the channel's threads, which remember theirs, are made anew by
// registering the channel again once the heap has been read (see NewRecorderThreads).
void FreeStandInTombstones() {
  halvex::testing::ResetComModel();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

// A new call queue, whose threads set up COM again; the recording goes on. Only between calls:
// every call sent so far has been answered.
void NewRecorderThreads(DirectMessenger* messenger) {
  RegisterRecorderChannel(messenger);
}

std::vector<std::vector<uint8_t>> AppendCalls(const std::vector<std::string>& files) {
  std::vector<std::vector<uint8_t>> appendCalls;
  for (const std::string& file : files) {
    appendCalls.push_back(EncodeCall(
        "appendPng",
        EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(ReadFile(file))}})));
  }
  return appendCalls;
}

std::vector<uint8_t> StartCall(const std::filesystem::path& output) {
  return EncodeCall("start", EncodableValue(EncodableMap{
                                 {EncodableValue("path"), EncodableValue(output.string())},
                                 {EncodableValue("fps"), EncodableValue(30.0)},
                                 {EncodableValue("enableAudio"), EncodableValue(false)},
                             }));
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

// Records the frames once, in this process, the given way, and prints the process's peak
// resident memory for the parent to read. "queued": through the registered channel with three
// frames in flight; "direct": each call decoded and run on this thread through RecorderChannel,
// one at a time, as the channel did before it queued its calls.
int RecordForPeak(const Options& options, const std::vector<std::vector<uint8_t>>& appendCalls) {
  const bool queued = options.peak == "queued";
  if (!queued && options.peak != "direct") {
    std::printf("unknown way of recording: %s (queued, direct)\n", options.peak.c_str());
    return 2;
  }
  const std::filesystem::path output = std::filesystem::temp_directory_path() /
                                       ("halvex-bench-peak-" + std::to_string(getpid()) + ".mp4");
  DirectMessenger messenger;
  if (queued) {
    RegisterRecorderChannel(&messenger);
  } else {
    const flutter::StandardMethodCodec* codec = &flutter::StandardMethodCodec::GetInstance();
    messenger.SetMessageHandler(
        "direct", [codec](const uint8_t* message, size_t size, flutter::BinaryReply reply) {
          auto result = std::make_unique<flutter::EngineMethodResult>(std::move(reply), codec);
          if (std::unique_ptr<flutter::MethodCall> call = codec->DecodeMethodCall(message, size)) {
            RecorderChannel(*call, std::move(result));
          } else {
            result->NotImplemented();
          }
        });
  }
  std::optional<DirectMessenger::Reply> stopped;
  if (messenger.Call(StartCall(output))) {
    CallsInFlight calls(&messenger, queued ? kPeakFramesInFlight : 1);
    bool sent = true;
    for (int32_t frame = 0; frame < options.peakFrames && sent; ++frame) {
      sent = calls.Send(appendCalls[static_cast<size_t>(frame % kDistinctFrames)]).has_value();
    }
    if (sent && calls.WaitForAll()) {
      stopped = messenger.Call(EncodeCall("stop", EncodableValue()));
    }
  }
  std::error_code error;
  std::filesystem::remove(output, error);
  const int32_t frames = stopped ? FramesIn(DecodeSuccess(stopped->bytes)) : -1;
  if (frames != options.peakFrames) {
    std::printf("the host recorded %d of %d frames\n", frames, options.peakFrames);
    return 1;
  }
  std::printf("%s%.1f MB\n", kPeakPrefix, StatusMegabytes("VmHWM"));
  return 0;
}

// Runs this program again to record one way; its peak in megabytes, or a negative number.
double PeakOfChildProcess(const Options& options, const std::string& way) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return -1;
  }
  const std::string command = "'" + self.string() + "' --peak=" + way +
                              " --peak-frames=" + std::to_string(options.peakFrames) +
                              " '--folder=" + options.folder + "'";
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) {
    return -1;
  }
  double peak = -1;
  char line[256];
  while (std::fgets(line, sizeof(line), child) != nullptr) {
    if (std::strncmp(line, kPeakPrefix, sizeof(kPeakPrefix) - 1) == 0) {
      peak = std::atof(line + sizeof(kPeakPrefix) - 1);
    } else {
      std::printf("  [%s] %s", way.c_str(), line);
    }
  }
  return pclose(child) == 0 ? peak : -1;
}

void ComparePeaks(const Options& options) {
  std::printf("\nrecording %d frames of 1080p in a process of its own, twice...\n",
              options.peakFrames);
  std::fflush(stdout);
  const double queued = PeakOfChildProcess(options, "queued");
  const double direct = PeakOfChildProcess(options, "direct");
  if (queued < 0 || direct < 0) {
    std::printf("recording 1080p, three frames in flight: a recording failed, no comparison\n");
    return;
  }
  const double above = queued - direct;
  std::printf("%s   [three in flight %.1f MB, one at a time through RecorderChannel %.1f MB]\n",
              ComparisonLine("recording 1080p, three frames in flight",
                             "peak resident memory over one at a time (MB)", above, "<= 64.00",
                             above <= kAllowedPeakAboveDirectMegabytes)
                  .c_str(),
              queued, direct);
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
  const std::vector<std::vector<uint8_t>> appendCalls = AppendCalls(files);
  if (!options.peak.empty()) {
    return RecordForPeak(options, appendCalls);
  }
  const std::filesystem::path output = std::filesystem::temp_directory_path() /
                                       ("halvex-bench-memory-" + std::to_string(getpid()) + ".mp4");

  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);
  if (!messenger.Call(StartCall(output))) {
    std::printf("\"start\" was not answered\n");
    return 1;
  }
  const double before = StatusMegabytes("VmRSS");
  const int32_t warmUp = std::min(options.frames / 2, std::max(100, options.frames / 10));
  const int32_t step = std::max(1, options.frames / 10);
  double heapAfterWarmUp = 0;
  double residentAfterWarmUp = 0;
  bool settled = true;
  double peak = StatusMegabytes("VmHWM");
  std::printf("resident memory before the first frame: %.1f MB\n", before);
  // One call in flight: when its answer has come, nothing is queued and the recorder's threads
  // are between calls, so the heap can be read and the stand-in's tombstones freed.
  for (int32_t frame = 0; frame < options.frames; ++frame) {
    if (!messenger.Call(appendCalls[static_cast<size_t>(frame % kDistinctFrames)])) {
      std::printf("frame %d was not answered\n", frame + 1);
      return 1;
    }
    const bool warmedUp = frame + 1 == warmUp;
    const bool stepped = (frame + 1) % step == 0;
    const bool last = frame + 1 == options.frames;
    if (!warmedUp && !stepped && !last) {
      continue;
    }
    FreeStandInTombstones();
    if (warmedUp) {
      heapAfterWarmUp = SettledHeapInUseMegabytes(&settled);
      residentAfterWarmUp = StatusMegabytes("VmRSS");
    }
    if (stepped) {
      peak = std::max(peak, StatusMegabytes("VmHWM"));
      std::printf("  after %5d frames: heap in use %.2f MB, resident %.1f MB, peak %.1f MB\n",
                  frame + 1, HeapInUseMegabytes(), StatusMegabytes("VmRSS"), peak);
      std::fflush(stdout);
    }
    if (!last) {
      NewRecorderThreads(&messenger);
    }
  }
  bool settledAtEnd = false;
  const double heapAtEnd = SettledHeapInUseMegabytes(&settledAtEnd);
  const double residentAtEnd = StatusMegabytes("VmRSS");
  NewRecorderThreads(&messenger);
  const std::optional<DirectMessenger::Reply> stopped =
      messenger.Call(EncodeCall("stop", EncodableValue()));
  const int32_t frames = stopped ? FramesIn(DecodeSuccess(stopped->bytes)) : -1;
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
  std::fflush(stdout);
  ComparePeaks(options);
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
