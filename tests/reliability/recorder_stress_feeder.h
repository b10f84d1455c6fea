// A feeder thread that keeps the scripted default playback device supplied with packets, so that
// the recorder's capture thread always has audio to write while frames arrive.
#ifndef HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_FEEDER_H_
#define HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_FEEDER_H_

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "windows_testing/audio.h"

namespace halvex::stress {

// The devices the stress run moves between: one that needs no resampling, one that is resampled
// up from 16-bit samples and one that is mixed from a single channel and resampled down.
std::vector<halvex::testing::MixFormat> StressDeviceFormats();

// Queues packets (loud, quiet, flagged silent; long and one frame short) on the default device
// whenever fewer than `pendingLimit` are waiting. The limit keeps memory flat between
// recordings, when nobody drains the device.
class AudioFeeder {
 public:
  explicit AudioFeeder(std::size_t pendingLimit);
  ~AudioFeeder();
  AudioFeeder(const AudioFeeder&) = delete;
  AudioFeeder& operator=(const AudioFeeder&) = delete;

  // Replaces the default device by a fresh one of `format` and forgets the recorded audio calls,
  // which grow with every packet. Call it only while no capture thread runs. False if the device
  // refused the format.
  bool UseDevice(const halvex::testing::MixFormat& format);

  std::size_t PacketsQueued() const { return packetsQueued_.load(); }

 private:
  void Feed();

  const std::size_t pendingLimit_;
  std::mutex
      mutex_;  // held while queuing, so that no packet of the old format reaches a new device
  std::vector<halvex::testing::AudioPacket> packets_;
  std::size_t nextPacket_ = 0;
  std::atomic<std::size_t> packetsQueued_{0};
  std::atomic<bool> stopping_{false};
  std::thread feeder_;
};

}  // namespace halvex::stress

#endif  // HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_FEEDER_H_
