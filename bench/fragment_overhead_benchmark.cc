// What recording as fragments costs in file size: the same 1080p frames recorded twice through the
// recorder channel, once as fragments finished into a plain MP4 at "stop" (the recorder's way),
// once with the writer made plain from the start (as where the fragmented container is missing).
// The fragments' headers stay inside the finished file's media data; their share is the result.
//
//   fragment_overhead_benchmark [--seconds=20] [--folder=bench-frames/1080p]
#include <unistd.h>

#include <mferror.h>
#include <objbase.h>
#include <windows_testing/faults.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/calls_in_flight.h"
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
constexpr double kFps = 30.0;
constexpr double kTarget = 0.01;
// As an application sends its frames: the next before the last one's answer.
constexpr size_t kFramesInFlight = 2;

struct Options {
  double seconds = 20.0;
  std::string folder = "bench-frames/1080p";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
      options.seconds = std::max(3.0, std::atof(argv[i] + 10));
    } else if (std::strncmp(argv[i], "--folder=", 9) == 0) {
      options.folder = argv[i] + 9;
    }
  }
  return options;
}

// Records `frames` frames into `path`; returns the file's size in bytes, or 0 (also when a call
// went unanswered or a frame was not recorded).
uintmax_t Record(DirectMessenger& messenger,
                 const std::vector<std::vector<uint8_t>>& appendCalls,
                 int32_t frames,
                 const std::string& path,
                 bool fragmented) {
  // The writer is made by the first frame, on the recorder's thread: the fault is armed once
  // "start" has been answered and before any frame is sent.
  if (!messenger.Call(EncodeCall("start", EncodableValue(EncodableMap{
                                              {EncodableValue("path"), EncodableValue(path)},
                                              {EncodableValue("fps"), EncodableValue(kFps)},
                                              {EncodableValue("enableAudio"), EncodableValue(true)},
                                          })))) {
    return 0;
  }
  if (!fragmented) {
    halvex::testing::FailCall("MFCreateSinkWriterFromURL", MF_E_UNSUPPORTED_BYTESTREAM_TYPE, 1);
  }
  CallsInFlight calls(&messenger, kFramesInFlight);
  for (int32_t frame = 0; frame < frames; ++frame) {
    if (!calls.Send(appendCalls[static_cast<size_t>(frame % kDistinctFrames)])) {
      return 0;
    }
  }
  std::optional<DirectMessenger::Reply> stopped;
  if (calls.WaitForAll()) {
    stopped = messenger.Call(EncodeCall("stop", EncodableValue()));
  }
  halvex::testing::ResetFaults();
  if (!stopped || FramesIn(DecodeSuccess(stopped->bytes)) != frames) {
    return 0;
  }
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

int Run(const Options& options) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
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
  const auto frames = static_cast<int32_t>(options.seconds * kFps);
  const std::filesystem::path folder = std::filesystem::temp_directory_path();
  const std::string stem = "halvex-bench-fragments-" + std::to_string(getpid());
  const std::string fragmentedPath = (folder / (stem + "-fragmented.mp4")).string();
  const std::string plainPath = (folder / (stem + "-plain.mp4")).string();

  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);
  std::printf("recording %d frames of %dx%d twice...\n", frames, kWidth, kHeight);
  const uintmax_t fragmented = Record(messenger, appendCalls, frames, fragmentedPath, true);
  const uintmax_t plain = Record(messenger, appendCalls, frames, plainPath, false);
  std::filesystem::remove(fragmentedPath);
  std::filesystem::remove(plainPath);
  if (fragmented == 0 || plain == 0) {
    std::printf("a recording left no file or lacks frames\n");
    return 1;
  }
  std::printf("finished after fragments: %ju bytes; plain from the start: %ju bytes\n", fragmented,
              plain);
  const double overhead = static_cast<double>(fragmented) / static_cast<double>(plain) - 1.0;
  std::printf("%s\n", ComparisonLine("recording as fragments, file size", "% over plain",
                                     overhead * 100.0, "<= 1%", overhead <= kTarget)
                          .c_str());
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
