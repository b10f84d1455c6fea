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

// Linear resampling of one packet from `deviceRate` to 48000 per second, with nothing carried over
// between packets. Returns the samples unchanged when the rate is 48000 or not positive, and
// nothing when the result would exceed kMaxChunkSamples.
std::vector<int16_t> ResampleToRecordingRate(std::vector<int16_t> samples, int32_t deviceRate);

// True when any sample lies outside ±kSilenceThreshold.
bool IsAudible(const std::vector<int16_t>& samples);

}  // namespace halvex

#endif  // HALVEX_RECORDER_AUDIO_CONVERSION_H_
