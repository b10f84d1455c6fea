// "appendPng" end to end: folders of camera-like 1280 × 720 and 1920 × 1080 PNG frames recorded
// through the recorder channel (message decoding, PNG decoding, NV12 conversion, hand-over to the
// writer, and the writer's encoding to the finished file), against the FFmpeg command line doing
// the same job on the same files with the same encoder settings. Rounds alternate between the two.
//
// The channel answers on the recorder's own thread, after the handler has returned, so each way
// of sending waits for its answers as an application would:
// - one call in flight (720p): the next frame is sent once the last one is answered;
// - two frames in flight (720p, 1080p): the next is sent before the last one's answer, never with
//   more than two unanswered, as fast as they are answered;
// - two frames in flight at 30 frames per second (720p), each sent at its time, as a camera does.
// Besides frames per second it measures what the platform thread spends in each "appendPng" (the
// handler's time to return) and how long each answer takes from the moment its call was
// delivered.
//
//   append_png_benchmark [--frames=300] [--rounds=3] [--folder=bench-frames/720p]
//                        [--folder1080=bench-frames/1080p-sequence]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/calls_in_flight.h"
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

constexpr int32_t kFrameRate = 30;
constexpr double kFrameBudgetMilliseconds = 1000.0 / kFrameRate;
// The recorder makes a key frame at least every two seconds.
constexpr int32_t kKeyFrameInterval = 2 * kFrameRate;
constexpr double kPlatformThreadTargetMilliseconds = 1.0;
constexpr double kInFlightSpeedTarget = 1.3;

struct Options {
  int32_t frames = 300;
  int32_t rounds = 3;
  std::string folder = "bench-frames/720p";
  std::string folder1080 = "bench-frames/1080p-sequence";
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
    } else if (const char* folder1080 = value("--folder1080=")) {
      options.folder1080 = folder1080;
    }
  }
  return options;
}

double Seconds(Clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

double Milliseconds(Clock::duration duration) {
  return 1000.0 * Seconds(duration);
}

// One frame size: its folder of PNG files and the "appendPng" calls carrying them.
struct Clip {
  std::string name;
  int32_t width = 0;
  int32_t height = 0;
  std::string folder;
  std::vector<std::vector<uint8_t>> appendCalls;

  // What the recorder declares to the encoder: width × height × 3 bits per second.
  int64_t bitRate() const { return int64_t{width} * height * 3; }
};

bool LoadClip(Clip* clip, int32_t frames) {
  std::printf("Preparing %d PNG frames of %dx%d in %s\n", frames, clip->width, clip->height,
              clip->folder.c_str());
  std::fflush(stdout);
  const std::vector<std::string> files =
      PrepareFrameFolder(clip->folder, frames, clip->width, clip->height);
  if (files.empty()) {
    std::printf("could not write the frames\n");
    return false;
  }
  // The application encodes its calls; that is not the host's work, so it happens up front.
  size_t pngBytes = 0;
  for (const std::string& file : files) {
    std::vector<uint8_t> png = ReadFile(file);
    pngBytes += png.size();
    clip->appendCalls.push_back(EncodeCall(
        "appendPng", EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(png)}})));
  }
  std::printf("%s PNG files: %.2f MB on average\n", clip->name.c_str(),
              pngBytes / 1e6 / files.size());
  return true;
}

// How the frames are sent: how many may be unanswered, and whether each waits for its time.
struct Sending {
  size_t inFlight = 1;
  bool paced = false;
};

struct HostRun {
  bool answered = false;
  double seconds = 0;
  int32_t frames = -1;
  int64_t failedAnswers = 0;
  int64_t heldBack = 0;
  // Per "appendPng": from delivery to answer, and what the handler cost the platform thread.
  std::vector<double> replyMilliseconds;
  std::vector<DirectMessenger::Delivery> deliveries;
};

// Processor time used so far by this process (all its threads) or by its waited-for children.
double ProcessorSeconds(int who) {
  rusage usage = {};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

HostRun RecordWithHost(DirectMessenger* messenger,
                       const Clip& clip,
                       const Sending& sending,
                       const std::string& output) {
  HostRun run;
  const auto started = messenger->Call(
      EncodeCall("start", EncodableValue(EncodableMap{
                              {EncodableValue("path"), EncodableValue(output)},
                              {EncodableValue("fps"), EncodableValue(30.0)},
                              {EncodableValue("enableAudio"), EncodableValue(false)},
                          })));
  if (!started) {
    return run;
  }
  const size_t count = clip.appendCalls.size();
  run.replyMilliseconds.reserve(count);
  run.deliveries.reserve(count);
  CallsInFlight calls(messenger, sending.inFlight, [&run](const DirectMessenger::Reply& reply) {
    run.replyMilliseconds.push_back(Milliseconds(reply.answered - reply.delivered));
  });
  const Clock::time_point start = Clock::now();
  for (size_t index = 0; index < count; ++index) {
    if (sending.paced) {
      std::this_thread::sleep_until(
          start + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>(static_cast<double>(index) / kFrameRate)));
    }
    const auto delivery = calls.Send(clip.appendCalls[index]);
    if (!delivery) {
      return run;
    }
    run.deliveries.push_back(*delivery);
  }
  if (!calls.WaitForAll()) {
    return run;
  }
  const auto stopped = messenger->Call(EncodeCall("stop", EncodableValue()));
  run.seconds = Seconds(Clock::now() - start);
  if (!stopped) {
    return run;
  }
  run.answered = true;
  run.frames = FramesIn(DecodeSuccess(stopped->bytes));
  run.failedAnswers = calls.failedAnswers();
  run.heldBack = calls.heldBack();
  return run;
}

// Wall time of the command, or a negative number when it could not run or failed.
double RecordWithFfmpeg(const Clip& clip, const std::string& output) {
  const std::string pattern = (std::filesystem::path(clip.folder) / "%04d.png").string();
  const std::string rate = std::to_string(kFrameRate);
  const std::string count = std::to_string(clip.appendCalls.size());
  const std::string bitRate = std::to_string(clip.bitRate());
  const std::string keyFrames = std::to_string(kKeyFrameInterval);
  std::vector<std::string> arguments = {
      "ffmpeg", "-hide_banner", "-loglevel", "error", "-y",      "-framerate", rate,       "-i",
      pattern,  "-frames:v",    count,       "-c:v",  "libx264", "-preset",    "veryfast", "-bf",
      "0",      "-g",           keyFrames,   "-b:v",  bitRate,   "-pix_fmt",   "nv12",     output};
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
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  return values[index];
}

double Largest(const std::vector<double>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

// Everything measured over the rounds for one way of sending one clip.
struct Series {
  std::vector<double> framesPerSecond;
  std::vector<double> processorPerFrame;  // milliseconds, all threads
  std::vector<double> replyMilliseconds;
  std::vector<DirectMessenger::Delivery> deliveries;
  int64_t heldBack = 0;

  void Add(const HostRun& run, double processorSeconds) {
    const auto frames = static_cast<double>(run.replyMilliseconds.size());
    framesPerSecond.push_back(frames / run.seconds);
    processorPerFrame.push_back(1000.0 * processorSeconds / frames);
    replyMilliseconds.insert(replyMilliseconds.end(), run.replyMilliseconds.begin(),
                             run.replyMilliseconds.end());
    deliveries.insert(deliveries.end(), run.deliveries.begin(), run.deliveries.end());
    heldBack += run.heldBack;
  }
};

// Records the clip once the given way; false (having said why) when the run has no result.
bool HostRound(DirectMessenger* messenger,
               const Clip& clip,
               const Sending& sending,
               const std::filesystem::path& scratch,
               Series* series) {
  const double before = ProcessorSeconds(RUSAGE_SELF);
  const HostRun run = RecordWithHost(messenger, clip, sending, (scratch / "host.mp4").string());
  const double processor = ProcessorSeconds(RUSAGE_SELF) - before;
  const auto frames = static_cast<int32_t>(clip.appendCalls.size());
  if (!run.answered) {
    std::printf("a call of the %s recording was not answered within %lld s\n", clip.name.c_str(),
                static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(
                                           DirectMessenger::kAnswerTimeout)
                                           .count()));
    return false;
  }
  if (run.frames != frames || run.failedAnswers > 0) {
    std::printf(
        "the host recorded %d of %d %s frames (%lld failed answers): is the real media writer in "
        "place?\n",
        run.frames, frames, clip.name.c_str(), static_cast<long long>(run.failedAnswers));
    return false;
  }
  series->Add(run, processor);
  return true;
}

// One ffmpeg run of the clip; false when ffmpeg could not be run.
bool FfmpegRound(const Clip& clip, const std::filesystem::path& scratch, Series* series) {
  const double before = ProcessorSeconds(RUSAGE_CHILDREN);
  const double seconds = RecordWithFfmpeg(clip, (scratch / "ffmpeg.mp4").string());
  if (seconds <= 0) {
    return false;
  }
  const auto frames = static_cast<double>(clip.appendCalls.size());
  series->framesPerSecond.push_back(frames / seconds);
  series->processorPerFrame.push_back(1000.0 * (ProcessorSeconds(RUSAGE_CHILDREN) - before) /
                                      frames);
  return true;
}

void PrintDistribution(const std::string& what, const std::vector<double>& milliseconds) {
  std::printf("%s: median %.2f ms, 90%% %.2f ms, 99%% %.2f ms, max %.2f ms\n", what.c_str(),
              Median(milliseconds), Percentile(milliseconds, 0.9), Percentile(milliseconds, 0.99),
              Largest(milliseconds));
}

void PrintSpeedRatio(const std::string& label,
                     const Series& host,
                     const Series& ffmpeg,
                     double target,
                     const std::string& how) {
  if (ffmpeg.framesPerSecond.empty()) {
    std::printf("%s: ffmpeg could not be run, no comparison\n", label.c_str());
    return;
  }
  const double ratio = Median(host.framesPerSecond) / Median(ffmpeg.framesPerSecond);
  char targetText[16];
  std::snprintf(targetText, sizeof(targetText), ">= %.2f", target);
  std::printf(
      "%s   [host %.1f frames/s, ffmpeg %.1f frames/s; %s]\n",
      ComparisonLine(label, "ours/ffmpeg frames per second", ratio, targetText, ratio >= target)
          .c_str(),
      Median(host.framesPerSecond), Median(ffmpeg.framesPerSecond), how.c_str());
}

void PrintLateShare(const std::string& label,
                    const std::string& how,
                    const std::vector<double>& replies) {
  const size_t late =
      static_cast<size_t>(std::count_if(replies.begin(), replies.end(), [](double milliseconds) {
        return milliseconds > kFrameBudgetMilliseconds;
      }));
  const double share = replies.empty() ? 100.0 : 100.0 * late / replies.size();
  std::printf("%s   [%zu of %zu calls; %s]\n",
              ComparisonLine(label, "share of calls answered after over 33.3 ms (%)", share,
                             "< 1.00", share < 1.0)
                  .c_str(),
              late, replies.size(), how.c_str());
}

std::vector<double> HandlerMilliseconds(const Series& series) {
  std::vector<double> milliseconds;
  for (const DirectMessenger::Delivery& delivery : series.deliveries) {
    milliseconds.push_back(Milliseconds(delivery.handlerTime));
  }
  return milliseconds;
}

// The handler's time against the target, then why the calls over it took so long: the platform
// thread's own work (processor time, page faults), waiting, or other threads having its core.
void PrintPlatformThread(const std::string& label, const Series& series) {
  const std::vector<double> wall = HandlerMilliseconds(series);
  std::vector<double> processor;
  int64_t slow = 0;
  int64_t slowPreempted = 0;
  int64_t slowWaited = 0;
  double slowProcessor = 0;
  int64_t faults = 0;
  for (const DirectMessenger::Delivery& delivery : series.deliveries) {
    processor.push_back(1000.0 * delivery.handlerProcessorSeconds);
    faults += delivery.handlerPageFaults;
    if (Milliseconds(delivery.handlerTime) > kPlatformThreadTargetMilliseconds) {
      ++slow;
      slowPreempted += delivery.handlerPreemptions > 0 ? 1 : 0;
      slowWaited += delivery.handlerWaits > 0 ? 1 : 0;
      slowProcessor += 1000.0 * delivery.handlerProcessorSeconds;
    }
  }
  const double p99 = Percentile(wall, 0.99);
  std::printf(
      "%s   [p50 %.3f ms, max %.3f ms; processor time p50 %.3f ms, p99 %.3f ms; %.0f page faults "
      "per call; %zu calls, two frames in flight]\n",
      ComparisonLine(label, "p99 of the handler's time to return (ms)", p99, "<= 1.00",
                     p99 <= kPlatformThreadTargetMilliseconds)
          .c_str(),
      Median(wall), Largest(wall), Median(processor), Percentile(processor, 0.99),
      wall.empty() ? 0.0 : static_cast<double>(faults) / static_cast<double>(wall.size()),
      wall.size());
  if (slow > 0) {
    std::printf(
        "  %s: %lld calls over 1 ms: %lld lost the core to another thread, %lld waited, %.3f ms "
        "of processor time on average\n",
        label.c_str(), static_cast<long long>(slow), static_cast<long long>(slowPreempted),
        static_cast<long long>(slowWaited), slowProcessor / static_cast<double>(slow));
  }
}

int Run(const Options& options) {
  Clip clip720{"720p", 1280, 720, options.folder, {}};
  Clip clip1080{"1080p", 1920, 1080, options.folder1080, {}};
  if (!LoadClip(&clip720, options.frames) || !LoadClip(&clip1080, options.frames)) {
    return 1;
  }

  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("halvex-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(scratch);
  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);

  const Sending oneInFlight{1, false};
  const Sending twoInFlight{2, false};
  const Sending camera{2, true};
  Series oneAt720;
  Series twoAt720;
  Series twoAt1080;
  Series pacedAt720;
  Series ffmpegAt720;
  Series ffmpegAt1080;
  bool ffmpegRan = true;
  for (int32_t round = 0; round < options.rounds; ++round) {
    if (!HostRound(&messenger, clip720, oneInFlight, scratch, &oneAt720) ||
        !HostRound(&messenger, clip720, twoInFlight, scratch, &twoAt720)) {
      return 1;
    }
    ffmpegRan = ffmpegRan && FfmpegRound(clip720, scratch, &ffmpegAt720);
    if (!HostRound(&messenger, clip1080, twoInFlight, scratch, &twoAt1080)) {
      return 1;
    }
    ffmpegRan = ffmpegRan && FfmpegRound(clip1080, scratch, &ffmpegAt1080);
    if (!HostRound(&messenger, clip720, camera, scratch, &pacedAt720)) {
      return 1;
    }
    std::printf(
        "round %d: 720p host %.1f frames/s one in flight, %.1f two in flight, ffmpeg %.1f; "
        "1080p host %.1f two in flight, ffmpeg %.1f\n",
        round + 1, oneAt720.framesPerSecond.back(), twoAt720.framesPerSecond.back(),
        ffmpegRan ? ffmpegAt720.framesPerSecond.back() : 0.0, twoAt1080.framesPerSecond.back(),
        ffmpegRan ? ffmpegAt1080.framesPerSecond.back() : 0.0);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(scratch);
  if (!ffmpegRan) {
    ffmpegAt720 = Series();
    ffmpegAt1080 = Series();
  }

  PrintDistribution("appendPng 720p answer, one call in flight", oneAt720.replyMilliseconds);
  PrintDistribution("appendPng 720p answer, two in flight", twoAt720.replyMilliseconds);
  PrintDistribution("appendPng 720p answer, two in flight at 30 fps", pacedAt720.replyMilliseconds);
  PrintDistribution("appendPng 1080p answer, two in flight", twoAt1080.replyMilliseconds);
  PrintDistribution("appendPng 720p handler, two in flight", HandlerMilliseconds(twoAt720));
  PrintDistribution("appendPng 1080p handler, two in flight", HandlerMilliseconds(twoAt1080));
  std::printf(
      "appendPng processor time per frame, all threads: 720p host %.1f ms (one in flight), %.1f "
      "ms (two), ffmpeg %.1f ms; 1080p host %.1f ms (two), ffmpeg %.1f ms (no target)\n",
      Median(oneAt720.processorPerFrame), Median(twoAt720.processorPerFrame),
      Median(ffmpegAt720.processorPerFrame), Median(twoAt1080.processorPerFrame),
      Median(ffmpegAt1080.processorPerFrame));
  std::printf("\n");
  PrintSpeedRatio("appendPng 720p end to end", oneAt720, ffmpegAt720, 1.0, "one call in flight");
  PrintSpeedRatio("appendPng 720p end to end, two frames in flight", twoAt720, ffmpegAt720,
                  kInFlightSpeedTarget, "never more than two unanswered");
  PrintSpeedRatio("appendPng 1080p end to end, two frames in flight", twoAt1080, ffmpegAt1080,
                  kInFlightSpeedTarget, "never more than two unanswered");
  PrintLateShare("appendPng 720p late frames",
                 "one call in flight, each sent once the last is answered",
                 oneAt720.replyMilliseconds);
  PrintLateShare("appendPng 720p late frames at 30 fps, two in flight",
                 "each sent at its time; " + std::to_string(pacedAt720.heldBack) +
                     " sent after it, waiting for an earlier answer",
                 pacedAt720.replyMilliseconds);
  PrintPlatformThread("appendPng 720p platform thread per call", twoAt720);
  PrintPlatformThread("appendPng 1080p platform thread per call", twoAt1080);
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
