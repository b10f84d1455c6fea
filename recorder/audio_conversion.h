// Turns what the playback device delivers into the recording's audio format: 16-bit mono samples
// at 48000 per second. Pure functions on plain values, so they are tested without a device.
#ifndef HALVEX_RECORDER_AUDIO_CONVERSION_H_
#define HALVEX_RECORDER_AUDIO_CONVERSION_H_

#include <windows.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex {

constexpr int32_t kRecordingSampleRate = 48000;

// A sample whose magnitude is at most this is silent; a chunk with any louder sample is audible.
constexpr int32_t kSilenceThreshold = 180;

// Longest chunk one device packet may become. A packet is at most the device buffer of one
// second; anything far beyond that comes from a device reporting nonsense and is dropped.
constexpr size_t kMaxChunkSamples = 10 * kRecordingSampleRate;

// How the samples of one channel are stored in the device's frames.
enum class SampleEncoding {
  kFloat32,
  kUnsigned8,
  kSigned16,
  kSigned24,
  kSigned32,  // also any narrower valid width left-justified in a 32-bit container
  kUnsupported,
};

struct CaptureFormat {
  int32_t rate = 0;            // device rate, as a signed value
  int32_t channels = 1;        // never 0
  bool isFloat = false;        // decided by the format tag, never by the width
  int32_t bits = 0;            // valid bits per sample
  int32_t sampleWidth = 1;     // bytes of valid data: bits / 8, at least 1
  int32_t containerBytes = 1;  // bytes each sample occupies in a frame
  SampleEncoding encoding = SampleEncoding::kUnsupported;
};

// Reads the capture format from a device mix format (plain or extensible).
CaptureFormat DeriveCaptureFormat(const WAVEFORMATEX& format);

// Averages each of `frames` interleaved frames to one 16-bit sample. Float means are limited to
// ±1.0 and scaled by 32767 with rounding half away from zero (a NaN counts as silence); integer
// samples are first brought to 16 bits (their top 16 bits, unsigned 8-bit recentred) and their
// sum is divided by the channel count with truncation toward zero. `data` holds
// frames × channels × containerBytes bytes. Empty for an unsupported encoding.
std::vector<int16_t> MixDownToMono(const uint8_t* data,
                                   uint32_t frames,
                                   const CaptureFormat& format);

// Linear resampling of a continuous stream from the device's rate to 48000 per second. Phase and
// the last sample carry over from packet to packet, so N input samples always give
// ⌈N × 48000 / rate⌉ output samples over the stream, whatever the packets' sizes, and a packet
// border leaves no step in the waveform. Output sample k lies at input position k × rate / 48000,
// interpolated between the input samples on either side of the position one input sample
// earlier: that delay of one input sample lets every output of a packet be formed from samples
// already seen. Before the stream's first sample, the first sample is repeated.
class StreamResampler {
 public:
  explicit StreamResampler(int32_t deviceRate = kRecordingSampleRate) : rate_(deviceRate) {}

  int32_t deviceRate() const { return rate_; }

  // The 48 kHz samples that the next `count` input samples complete. Passes the samples through
  // unchanged when the rate is 48000 or not positive. When the result would exceed
  // kMaxChunkSamples (a device reporting nonsense), gives nothing and begins a new stream.
  std::vector<int16_t> Resample(const int16_t* input, size_t count);

  // The next input begins a new stream, not joined to what came before.
  void Restart();

 private:
  int32_t rate_;
  bool started_ = false;
  int64_t consumed_ = 0;  // input samples taken so far
  int64_t produced_ = 0;  // output samples given so far: the index of the next one
  int16_t previous_ = 0;  // the last input sample taken
};

// True when any sample lies outside ±kSilenceThreshold.
bool IsAudible(const std::vector<int16_t>& samples);

}  // namespace halvex

#endif  // HALVEX_RECORDER_AUDIO_CONVERSION_H_
