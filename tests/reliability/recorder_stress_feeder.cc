#include "tests/reliability/recorder_stress_feeder.h"

#include <chrono>
#include <cstdint>
#include <cstring>

namespace halvex::stress {
namespace {

namespace mf = halvex::testing;

// Levels as a fraction of full scale: a loud packet is far above the recorder's ±180 threshold
// of silence, a quiet one below it.
constexpr double kLoud = 0.25;
constexpr double kQuiet = 0.002;

constexpr auto kFullQueuePause = std::chrono::microseconds(100);

// `frames` interleaved frames of the format, every sample at `level`.
std::vector<BYTE> Level(const mf::MixFormat& format, UINT32 frames, double level) {
  const size_t samples = static_cast<size_t>(frames) * format.channels;
  std::vector<BYTE> bytes;
  if (format.bits_per_sample == 32) {
    const float value = static_cast<float>(level);
    bytes.resize(samples * sizeof(float));
    for (size_t i = 0; i < samples; ++i) {
      std::memcpy(bytes.data() + i * sizeof(float), &value, sizeof(float));
    }
  } else {
    const auto value = static_cast<int16_t>(level * 32767.0);
    bytes.resize(samples * sizeof(int16_t));
    for (size_t i = 0; i < samples; ++i) {
      std::memcpy(bytes.data() + i * sizeof(int16_t), &value, sizeof(int16_t));
    }
  }
  return bytes;
}

std::vector<mf::AudioPacket> PacketsFor(const mf::MixFormat& format) {
  const UINT32 tenMilliseconds = format.samples_per_second / 100;
  return {
      {tenMilliseconds, 0, Level(format, tenMilliseconds, kLoud)},
      {tenMilliseconds, 0, Level(format, tenMilliseconds, kQuiet)},
      {1, 0, Level(format, 1, kLoud)},
      {tenMilliseconds, AUDCLNT_BUFFERFLAGS_SILENT, {}},
      {97, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY, Level(format, 97, -kLoud)},
      {tenMilliseconds, 0, Level(format, tenMilliseconds, kLoud)},
  };
}

}  // namespace

std::vector<mf::MixFormat> StressDeviceFormats() {
  mf::MixFormat stereoFloat;  // 48 kHz, 32-bit float, extensible
  mf::MixFormat stereoPcm;
  stereoPcm.format_tag = WAVE_FORMAT_PCM;
  stereoPcm.samples_per_second = 44100;
  stereoPcm.bits_per_sample = 16;
  mf::MixFormat monoFloat;
  monoFloat.format_tag = WAVE_FORMAT_IEEE_FLOAT;
  monoFloat.channels = 1;
  monoFloat.samples_per_second = 96000;
  return {stereoFloat, stereoPcm, monoFloat};
}

AudioFeeder::AudioFeeder(std::size_t pendingLimit) : pendingLimit_(pendingLimit) {
  feeder_ = std::thread([this] { Feed(); });
}

AudioFeeder::~AudioFeeder() {
  stopping_ = true;
  feeder_.join();
}

bool AudioFeeder::UseDevice(const mf::MixFormat& format) {
  std::lock_guard<std::mutex> lock(mutex_);
  mf::ResetAudio();
  packets_.clear();
  if (!mf::SetDefaultAudioDevice(format)) {
    return false;
  }
  packets_ = PacketsFor(format);
  nextPacket_ = 0;
  return true;
}

void AudioFeeder::Feed() {
  while (!stopping_) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!packets_.empty() && mf::PendingPackets() < pendingLimit_) {
        if (mf::QueuePacket(packets_[nextPacket_])) {
          ++packetsQueued_;
        }
        nextPacket_ = (nextPacket_ + 1) % packets_.size();
        continue;
      }
    }
    std::this_thread::sleep_for(kFullQueuePause);
  }
}

}  // namespace halvex::stress
