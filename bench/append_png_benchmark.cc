// "appendPng" end to end: a folder of camera-like 1280 × 720 PNG frames recorded through the
// recorder channel (message decoding, PNG decoding, NV12 conversion, hand-over to the writer, and
// the writer's encoding to the finished file), against the FFmpeg command line doing the same job
// on the same files with the same encoder settings. Rounds alternate between the two.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/comparison_report.h"
#include "bench/direct_messenger.h"
#include "bench/png_frames.h"
#include "messaging/encodable_value.h"
#include "recorder/recorder_channel.h"

extern char** environ;

namespace halvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr int32_t kWidth = 1280;
constexpr int32_t kHeight = 720;
constexpr int32_t kFrameRate = 30;
constexpr double kFrameBudgetMilliseconds = 1000.0 / kFrameRate;
// What the recorder declares to the encoder: width × height × 3 bits per second.
constexpr int64_t kBitRate = int64_t{kWidth} * kHeight * 3;

struct Options {
  int32_t frames = 300;
  int32_t rounds = 3;
  std::string folder = "bench-frames/720p";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const char* name) -> const char* {
      const size_t length = std::strlen(name);
      return argument.compare(0, length, name) == 0 ? argv[i] + length : nullptr;
    };
    if (const char* frames = value("--frames=")) {
      options.frames = std::max(1, std::atoi(frames));
    } else if (const char* rounds = value("--rounds=")) {
      options.rounds = std::max(1, std::atoi(rounds));
    } else if (const char* folder = value("--folder=")) {
      options.folder = folder;
    }
  }
  return options;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

struct HostRun {
  double seconds = 0;
  int32_t frames = -1;
  std::vector<double> callMilliseconds;
  // The platform thread's own processor time in each call: what the call would take on a core
  // of its own, without the other processes of a shared machine.
  std::vector<double> callProcessorMilliseconds;
};

// Processor time used so far by this process (all its threads) or by its waited-for children.
double ProcessorSeconds(int who) {
  rusage usage = {};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadProcessorMilliseconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

HostRun RecordWithHost(DirectMessenger* messenger,
                       const std::vector<std::vector<uint8_t>>& appendCalls,
                       const std::string& output) {
  HostRun run;
  std::vector<uint8_t> answer;
  messenger->Deliver(EncodeCall("start", EncodableValue(EncodableMap{
                                             {EncodableValue("path"), EncodableValue(output)},
                                             {EncodableValue("fps"), EncodableValue(30.0)},
                                             {EncodableValue("enableAudio"), EncodableValue(false)},
                                         })),
                     &answer);
  const std::vector<uint8_t> stop = EncodeCall("stop", EncodableValue());
  const Clock::time_point start = Clock::now();
  for (const std::vector<uint8_t>& call : appendCalls) {
    const Clock::time_point before = Clock::now();
    const double processorBefore = ThreadProcessorMilliseconds();
    messenger->Deliver(call, &answer);
    run.callProcessorMilliseconds.push_back(ThreadProcessorMilliseconds() - processorBefore);
    run.callMilliseconds.push_back(1000.0 * Seconds(Clock::now() - before));
  }
  messenger->Deliver(stop, &answer);
  run.seconds = Seconds(Clock::now() - start);
  run.frames = FramesIn(DecodeSuccess(answer));
  return run;
}

// Wall time of the command, or a negative number when it could not run or failed.
double RecordWithFfmpeg(const std::string& folder, int32_t frames, const std::string& output) {
  const std::string pattern = (std::filesystem::path(folder) / "%04d.png").string();
  const std::string rate = std::to_string(kFrameRate);
  const std::string count = std::to_string(frames);
  const std::string bitRate = std::to_string(kBitRate);
  std::vector<std::string> arguments = {
      "ffmpeg", "-hide_banner", "-loglevel", "error",    "-y",      "-framerate", rate,       "-i",
      pattern,  "-frames:v",    count,       "-c:v",     "libx264", "-preset",    "veryfast", "-bf",
      "0",      "-b:v",         bitRate,     "-pix_fmt", "nv12",    output};
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  const Clock::time_point start = Clock::now();
  pid_t child = 0;
  if (posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return -1;
  }
  return Seconds(Clock::now() - start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  return values[index];
}

void PrintLateShare(const char* label, const char* name, const std::vector<double>& calls) {
  const size_t late =
      static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [](double milliseconds) {
        return milliseconds > kFrameBudgetMilliseconds;
      }));
  const double share = 100.0 * late / calls.size();
  std::printf("%s   [%zu of %zu calls]\n",
              ComparisonLine(label, name, share, "< 1.00", share < 1.0).c_str(), late,
              calls.size());
}

int Run(const Options& options) {
  std::printf("Preparing %d PNG frames of %dx%d in %s\n", options.frames, kWidth, kHeight,
              options.folder.c_str());
  const std::vector<std::string> files =
      PrepareFrameFolder(options.folder, options.frames, kWidth, kHeight);
  if (files.empty()) {
    std::printf("could not write the frames\n");
    return 1;
  }
  // The application encodes its calls; that is not the host's work, so it happens up front.
  std::vector<std::vector<uint8_t>> appendCalls;
  size_t pngBytes = 0;
  for (const std::string& file : files) {
    std::vector<uint8_t> png = ReadFile(file);
    pngBytes += png.size();
    appendCalls.push_back(EncodeCall(
        "appendPng", EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(png)}})));
  }
  std::printf("PNG files: %.2f MB on average\n", pngBytes / 1e6 / files.size());

  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("halvex-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);

  std::vector<double> hostRates;
  std::vector<double> ffmpegRates;
  std::vector<double> calls;
  std::vector<double> processorCalls;
  std::vector<double> hostProcessorPerFrame;
  std::vector<double> ffmpegProcessorPerFrame;
  bool ffmpegRan = true;
  for (int32_t round = 0; round < options.rounds; ++round) {
    const double hostBefore = ProcessorSeconds(RUSAGE_SELF);
    const HostRun host = RecordWithHost(&messenger, appendCalls, (scratch / "host.mp4").string());
    hostProcessorPerFrame.push_back(1000.0 * (ProcessorSeconds(RUSAGE_SELF) - hostBefore) /
                                    options.frames);
    if (host.frames != options.frames) {
      std::printf("the host recorded %d of %d frames: is the real media writer in place?\n",
                  host.frames, options.frames);
      return 1;
    }
    hostRates.push_back(options.frames / host.seconds);
    calls.insert(calls.end(), host.callMilliseconds.begin(), host.callMilliseconds.end());
    processorCalls.insert(processorCalls.end(), host.callProcessorMilliseconds.begin(),
                          host.callProcessorMilliseconds.end());
    const double ffmpegBefore = ProcessorSeconds(RUSAGE_CHILDREN);
    const double ffmpegSeconds =
        RecordWithFfmpeg(options.folder, options.frames, (scratch / "ffmpeg.mp4").string());
    ffmpegProcessorPerFrame.push_back(1000.0 * (ProcessorSeconds(RUSAGE_CHILDREN) - ffmpegBefore) /
                                      options.frames);
    ffmpegRan = ffmpegRan && ffmpegSeconds > 0;
    if (ffmpegRan) {
      ffmpegRates.push_back(options.frames / ffmpegSeconds);
    }
    std::printf("round %d: host %.1f frames/s (file %.2f MB), ffmpeg %.1f frames/s\n", round + 1,
                hostRates.back(), std::filesystem::file_size(scratch / "host.mp4") / 1e6,
                ffmpegRan ? ffmpegRates.back() : 0.0);
  }
  std::filesystem::remove_all(scratch);

  std::printf(
      "appendPng call, wall time: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms\n",
      Median(calls), Percentile(calls, 0.9), Percentile(calls, 0.99),
      *std::max_element(calls.begin(), calls.end()));
  std::printf(
      "appendPng call, platform thread's processor time: median %.2f ms, 90%% %.2f ms, 99%% %.2f "
      "ms, max %.2f ms\n",
      Median(processorCalls), Percentile(processorCalls, 0.9), Percentile(processorCalls, 0.99),
      *std::max_element(processorCalls.begin(), processorCalls.end()));
  std::printf(
      "appendPng 720p processor time per frame, all threads: host %.1f ms, ffmpeg %.1f ms (no "
      "target)\n",
      Median(hostProcessorPerFrame), Median(ffmpegProcessorPerFrame));
  std::printf("\n");
  if (ffmpegRan) {
    const double ratio = Median(hostRates) / Median(ffmpegRates);
    std::printf("%s   [host %.1f frames/s, ffmpeg %.1f frames/s]\n",
                ComparisonLine("appendPng 720p end to end", "ours/ffmpeg frames per second", ratio,
                               ">= 1.00", ratio >= 1.0)
                    .c_str(),
                Median(hostRates), Median(ffmpegRates));
  } else {
    std::printf("appendPng 720p end to end: ffmpeg could not be run, no comparison\n");
  }
  PrintLateShare("appendPng 720p late frames", "share of calls over 33.3 ms (%)", calls);
  PrintLateShare("appendPng 720p late frames on an unshared core",
                 "share of calls with over 33.3 ms of processor time (%)", processorCalls);
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
