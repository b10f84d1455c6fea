// Sound against picture over a long recording: frames sent in real time at 30 fps through the
// recorder channel while a player beeps into the system output every ten seconds, with nothing
// playing between the beeps. Each beep's place in the file's audio track is set against when it
// really sounded, counted from the moment the first frame was sent; the largest difference and
// its drift from the first beep to the last are the results.
//
// Needs a sound server whose default sink runs at 44.1 kHz (scripts/bench sync starts one).
//
//   sound_sync_benchmark [--minutes=10] [--output=sync.mp4]
#include <pulse/error.h>
#include <pulse/simple.h>

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/calls_in_flight.h"
#include "bench/comparison_report.h"
#include "bench/direct_messenger.h"
#include "bench/png_frames.h"
#include "messaging/encodable_value.h"
#include "recorder/recorder_channel.h"

namespace halvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr double kFps = 30.0;
constexpr int kWidth = 320;
constexpr int kHeight = 180;
constexpr int kPlayRate = 44100;
constexpr double kBeepSeconds = 0.1;
constexpr double kBeepInterval = 10.0;
constexpr double kFirstBeep = 2.0;
constexpr int kTrackRate = 48000;
constexpr double kLargestOffsetTargetMs = 30.0;
constexpr double kDriftTargetMs = 10.0;
constexpr size_t kFramesInFlight = 2;

struct Options {
  double minutes = 10.0;
  std::string output = "sound-sync.mp4";
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--minutes=", 10) == 0) {
      options.minutes = std::max(0.5, std::atof(argv[i] + 10));
    } else if (std::strncmp(argv[i], "--output=", 9) == 0) {
      options.output = argv[i] + 9;
    }
  }
  return options;
}

// Plays one beep in a stream of its own, opened for it and closed after it, so that nothing plays
// between beeps; returns when the beep started to sound, or nothing when there is no output.
bool PlayBeep(Clock::time_point* sounded) {
  pa_sample_spec format{};
  format.format = PA_SAMPLE_S16LE;
  format.rate = kPlayRate;
  format.channels = 1;
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(kPlayRate * 2 / 50);  // 20 ms
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "Halvex benchmark", PA_STREAM_PLAYBACK, nullptr,
                                    "beep", &format, nullptr, &attributes, &error);
  if (stream == nullptr) {
    std::fprintf(stderr, "sound_sync_benchmark: no sound output: %s\n", pa_strerror(error));
    return false;
  }
  std::vector<int16_t> beep(static_cast<size_t>(kBeepSeconds * kPlayRate));
  for (size_t i = 0; i < beep.size(); ++i) {
    beep[i] =
        static_cast<int16_t>(16000.0 * std::sin(2.0 * 3.14159265358979 * 1000.0 * i / kPlayRate));
  }
  // Its first sample sounds once what the stream holds before it has played: nothing yet.
  const pa_usec_t latency = pa_simple_get_latency(stream, &error);
  *sounded =
      Clock::now() + std::chrono::microseconds(latency == static_cast<pa_usec_t>(-1) ? 0 : latency);
  const bool played = pa_simple_write(stream, beep.data(), beep.size() * 2, &error) == 0 &&
                      pa_simple_drain(stream, &error) == 0;
  pa_simple_free(stream);
  return played;
}

// The recording's audio track as 16-bit mono at 48 kHz, decoded by the ffmpeg command line.
std::vector<int16_t> DecodeAudio(const std::string& path) {
  const std::string command =
      "ffmpeg -v error -i '" + path + "' -map 0:a:0 -f s16le -ac 1 -ar 48000 - 2>/dev/null";
  std::vector<int16_t> samples;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return samples;
  }
  int16_t buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, sizeof(int16_t), 4096, pipe)) > 0) {
    samples.insert(samples.end(), buffer, buffer + read);
  }
  pclose(pipe);
  return samples;
}

// Where each beep begins in the track: the first loud sample after a quiet second.
std::vector<double> BeepOnsets(const std::vector<int16_t>& track) {
  std::vector<double> onsets;
  int64_t lastLoud = -kTrackRate;
  for (size_t i = 0; i < track.size(); ++i) {
    if (std::abs(track[i]) > 3000) {
      if (static_cast<int64_t>(i) - lastLoud > kTrackRate) {
        onsets.push_back(static_cast<double>(i) / kTrackRate);
      }
      lastLoud = static_cast<int64_t>(i);
    }
  }
  return onsets;
}

int Run(const Options& options) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);
  if (!messenger.Call(
          EncodeCall("start", EncodableValue(EncodableMap{
                                  {EncodableValue("path"), EncodableValue(options.output)},
                                  {EncodableValue("fps"), EncodableValue(kFps)},
                              })))) {
    std::printf("\"start\" was not answered\n");
    return 1;
  }

  std::vector<std::vector<uint8_t>> pngs;
  for (int shade = 0; shade < 8; ++shade) {
    std::vector<uint8_t> bgra(static_cast<size_t>(kWidth) * kHeight * 4,
                              static_cast<uint8_t>(60 + shade * 20));
    pngs.push_back(EncodePng(kWidth, kHeight, bgra));
  }
  const auto frames = static_cast<int64_t>(options.minutes * 60.0 * kFps);
  std::printf("recording %.1f minutes at %.0f fps, a beep every %.0f s...\n", options.minutes, kFps,
              kBeepInterval);
  std::fflush(stdout);

  // Beeps on a thread of their own, at their times from the first frame.
  std::mutex mutex;
  std::vector<double> played;  // seconds from the first frame
  std::atomic<bool> stopping{false};
  const Clock::time_point start = Clock::now();
  std::thread player([&] {
    for (double at = kFirstBeep; at < options.minutes * 60.0 - 1.0 && !stopping;
         at += kBeepInterval) {
      std::this_thread::sleep_until(
          start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(at)));
      Clock::time_point sounded;
      if (stopping || !PlayBeep(&sounded)) {
        return;
      }
      std::lock_guard<std::mutex> lock(mutex);
      played.push_back(std::chrono::duration<double>(sounded - start).count());
    }
  });
  // Each frame is sent at its time, as a camera sends them, with the answer to the one before
  // it possibly still to come.
  CallsInFlight calls(&messenger, kFramesInFlight);
  bool answered = true;
  for (int64_t index = 0; index < frames && answered; ++index) {
    std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(index / kFps)));
    answered = calls
                   .Send(EncodeCall("appendPng", EncodableValue(EncodableMap{
                                                     {EncodableValue("bytes"),
                                                      EncodableValue(pngs[index % pngs.size()])}})))
                   .has_value();
  }
  stopping = true;
  player.join();
  // The file is complete once "stop" has been answered.
  if (!answered || !calls.WaitForAll() || !messenger.Call(EncodeCall("stop", EncodableValue()))) {
    std::printf("a call was not answered\n");
    return 1;
  }
  if (calls.heldBack() > 0) {
    std::printf("%lld frames were sent late, waiting for an earlier answer\n",
                static_cast<long long>(calls.heldBack()));
  }

  const std::vector<double> onsets = BeepOnsets(DecodeAudio(options.output));
  if (played.empty() || onsets.size() != played.size()) {
    std::printf("found %zu beeps in the recording, %zu were played: cannot pair them\n",
                onsets.size(), played.size());
    return 1;
  }
  double largest = 0.0;
  for (size_t i = 0; i < played.size(); ++i) {
    const double offset = onsets[i] - played[i];
    largest = std::max(largest, std::fabs(offset));
    if (i < 3 || i + 3 >= played.size()) {
      std::printf("  beep %2zu: played at %8.3f s, in the track at %8.3f s: %+6.1f ms\n", i + 1,
                  played[i], onsets[i], offset * 1000.0);
    }
  }
  const double drift = (onsets.back() - played.back()) - (onsets.front() - played.front());
  std::printf("%zu beeps over %.1f minutes\n", played.size(), options.minutes);
  const double largestMs = largest * 1000.0;
  const double driftMs = std::fabs(drift) * 1000.0;
  std::printf("%s\n", ComparisonLine("sound sync, largest offset of a beep", "ms", largestMs,
                                     "<= 30", largestMs <= kLargestOffsetTargetMs)
                          .c_str());
  std::printf("%s\n", ComparisonLine("sound sync, drift from first to last beep", "ms", driftMs,
                                     "<= 10", driftMs <= kDriftTargetMs)
                          .c_str());
  return 0;
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  return halvex::bench::Run(halvex::bench::ParseOptions(argc, argv));
}
