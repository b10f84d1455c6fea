// Beeps through the sound server: one playback stream, kept fed with silence and beeps by a thread
// of its own, so that a beep can be placed on the stream's time line to the sample.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "app/beeper.h"

namespace halvex {
namespace demo {
namespace {

constexpr int kRate = 48000;
constexpr int kChunkSamples = kRate / 100;  // 10 ms per write
// The stream keeps about this much queued: little enough that a beep starts within it.
constexpr int kQueuedMilliseconds = 30;

class PulseBeeper : public Beeper {
 public:
  static std::unique_ptr<Beeper> Open(std::string* status) {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = kRate;
    format.channels = 1;
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(kRate * 2 * kQueuedMilliseconds / 1000);
    attributes.prebuf = static_cast<uint32_t>(kChunkSamples * 2);
    attributes.minreq = static_cast<uint32_t>(kChunkSamples * 2);
    attributes.fragsize = static_cast<uint32_t>(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Halvex demo", PA_STREAM_PLAYBACK, nullptr,
                                      "flash beeps", &format, nullptr, &attributes, &error);
    if (stream == nullptr) {
      *status = std::string("off (no sound output: ") + pa_strerror(error) + ")";
      return nullptr;
    }
    *status = "on, one with each flash";
    return std::unique_ptr<Beeper>(new PulseBeeper(stream));
  }

  ~PulseBeeper() override {
    stopping_ = true;
    thread_.join();
    pa_simple_free(stream_);
  }

  void BeepAt(Clock::time_point when) override {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_.push_back(when);
  }

 private:
  explicit PulseBeeper(pa_simple* stream)
      : stream_(stream), beep_(BeepSamples(kRate)), thread_([this] { Run(); }) {}

  // Writes 10 ms at a time; the writes block while the stream is full, which paces the loop. A
  // beep's first sample is fixed only when it falls into the chunk being written: until then its
  // moment is mapped onto the stream anew with every chunk, so that a pause of the output before
  // it (the server starting a sink over) does not move it.
  void Run() {
    std::vector<int64_t> starts;  // output samples at which beeps began
    int64_t written = 0;
    while (!stopping_) {
      // The next sample written sounds once everything queued before it has played.
      int error = 0;
      const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
      const Clock::time_point nextSounds =
          Clock::now() +
          std::chrono::microseconds(latency == static_cast<pa_usec_t>(-1) ? 0 : latency);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        auto due = requested_.begin();
        while (due != requested_.end()) {
          const double ahead = std::chrono::duration<double>(*due - nextSounds).count();
          const int64_t start = written + std::max<int64_t>(0, std::llround(ahead * kRate));
          if (start < written + kChunkSamples) {
            starts.push_back(start);
            due = requested_.erase(due);
          } else {
            ++due;
          }
        }
      }
      std::vector<int16_t> chunk(kChunkSamples, 0);
      MixBeeps(written, starts, beep_, &chunk);
      if (pa_simple_write(stream_, chunk.data(), chunk.size() * sizeof(int16_t), &error) < 0) {
        return;  // The server went away: no more beeps.
      }
      written += kChunkSamples;
      starts.erase(std::remove_if(starts.begin(), starts.end(),
                                  [&](int64_t start) {
                                    return start + static_cast<int64_t>(beep_.size()) <= written;
                                  }),
                   starts.end());
    }
  }

  pa_simple* const stream_;
  const std::vector<int16_t> beep_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<Clock::time_point> requested_;
  std::thread thread_;  // last: it runs on the members above
};

}  // namespace

std::unique_ptr<Beeper> CreateBeeper(std::string* status) {
  return PulseBeeper::Open(status);
}

}  // namespace demo
}  // namespace halvex
