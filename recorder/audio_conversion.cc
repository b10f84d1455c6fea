#include "recorder/audio_conversion.h"

#include <ksmedia.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halvex {
namespace {

constexpr WORD kExtensibleFormatExtraBytes = 22;

SampleEncoding EncodingOf(bool isFloat, int32_t containerBytes) {
  if (isFloat) {
    return containerBytes == 4 ? SampleEncoding::kFloat32 : SampleEncoding::kUnsupported;
  }
  switch (containerBytes) {
    case 1:
      return SampleEncoding::kUnsigned8;
    case 2:
      return SampleEncoding::kSigned16;
    case 3:
      return SampleEncoding::kSigned24;
    case 4:
      return SampleEncoding::kSigned32;
    default:
      return SampleEncoding::kUnsupported;
  }
}

// Each integer sample as a signed 16-bit value: its most significant 16 bits.
int32_t ReadSampleAs16Bit(const uint8_t* sample, SampleEncoding encoding) {
  switch (encoding) {
    case SampleEncoding::kUnsigned8:
      return (static_cast<int32_t>(sample[0]) - 128) * 256;
    case SampleEncoding::kSigned16: {
      int16_t value;
      std::memcpy(&value, sample, sizeof(value));
      return value;
    }
    case SampleEncoding::kSigned24: {
      const uint32_t bits = static_cast<uint32_t>(sample[0]) |
                            (static_cast<uint32_t>(sample[1]) << 8) |
                            (static_cast<uint32_t>(sample[2]) << 16);
      // The top byte's sign decides; shifting the 24 bits up and back keeps it.
      const int32_t value = static_cast<int32_t>(bits << 8);
      return value >> 16;
    }
    case SampleEncoding::kSigned32: {
      int32_t value;
      std::memcpy(&value, sample, sizeof(value));
      return value >> 16;
    }
    default:
      return 0;
  }
}

int16_t MixFloatFrame(const uint8_t* frame, int32_t channels) {
  float sum = 0.0f;
  for (int32_t channel = 0; channel < channels; ++channel) {
    float value;
    std::memcpy(&value, frame + static_cast<size_t>(channel) * sizeof(float), sizeof(value));
    sum += value;
  }
  float mean = sum / static_cast<float>(channels);
  if (mean > 1.0f) {
    mean = 1.0f;
  }
  if (mean < -1.0f) {
    mean = -1.0f;
  }
  if (std::isnan(mean)) {
    mean = 0.0f;
  }
  return static_cast<int16_t>(std::lroundf(mean * 32767.0f));
}

int16_t MixIntegerFrame(const uint8_t* frame, const CaptureFormat& format) {
  int32_t sum = 0;
  for (int32_t channel = 0; channel < format.channels; ++channel) {
    sum += ReadSampleAs16Bit(frame + static_cast<size_t>(channel) * format.containerBytes,
                             format.encoding);
  }
  return static_cast<int16_t>(sum / format.channels);
}

}  // namespace

CaptureFormat DeriveCaptureFormat(const WAVEFORMATEX& format) {
  CaptureFormat capture;
  capture.rate = static_cast<int32_t>(format.nSamplesPerSec);
  capture.channels = format.nChannels == 0 ? 1 : format.nChannels;

  const bool extensible =
      format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= kExtensibleFormatExtraBytes;
  capture.isFloat = format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
  int32_t bits = format.wBitsPerSample;
  if (extensible) {
    const auto& extended = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(format);
    capture.isFloat = IsEqualGUID(extended.SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    if (extended.Samples.wValidBitsPerSample != 0) {
      bits = extended.Samples.wValidBitsPerSample;
    }
  }
  if (bits == 0) {
    bits = capture.isFloat ? 32 : 16;
  }
  capture.bits = bits;
  capture.sampleWidth = std::max(bits / 8, 1);
  // Valid bits may sit in a wider container (24 in 32): frames are laid out by the container.
  capture.containerBytes =
      format.wBitsPerSample >= 8 ? (format.wBitsPerSample + 7) / 8 : capture.sampleWidth;
  capture.encoding = EncodingOf(capture.isFloat, capture.containerBytes);
  return capture;
}

std::vector<int16_t> MixDownToMono(const uint8_t* data,
                                   uint32_t frames,
                                   const CaptureFormat& format) {
  std::vector<int16_t> mono;
  if (data == nullptr || frames == 0 || format.channels < 1 ||
      format.encoding == SampleEncoding::kUnsupported) {
    return mono;
  }
  mono.resize(frames);
  const size_t frameBytes =
      static_cast<size_t>(format.channels) * static_cast<size_t>(format.containerBytes);
  if (format.encoding == SampleEncoding::kFloat32) {
    for (uint32_t i = 0; i < frames; ++i) {
      mono[i] = MixFloatFrame(data + i * frameBytes, format.channels);
    }
  } else {
    for (uint32_t i = 0; i < frames; ++i) {
      mono[i] = MixIntegerFrame(data + i * frameBytes, format);
    }
  }
  return mono;
}

std::vector<int16_t> StreamResampler::Resample(const int16_t* input, size_t count) {
  if (input == nullptr || count == 0) {
    return {};
  }
  if (rate_ == kRecordingSampleRate || rate_ <= 0) {
    return std::vector<int16_t>(input, input + count);
  }
  if (!started_) {
    started_ = true;
    previous_ = input[0];
  }
  const int64_t rate = rate_;
  const int64_t total = consumed_ + static_cast<int64_t>(count);
  // Output k exists once the input reaches past its position: k × rate < total × 48000.
  const int64_t end = (total * kRecordingSampleRate + rate - 1) / rate;
  if (static_cast<uint64_t>(end - produced_) > kMaxChunkSamples) {
    Restart();
    return {};
  }
  std::vector<int16_t> output(static_cast<size_t>(end - produced_));
  for (int64_t k = produced_; k < end; ++k) {
    // Outputs before this packet's took every position below consumed_, so index ≥ consumed_.
    const int64_t numerator = k * rate;
    const int64_t index = numerator / kRecordingSampleRate;
    const double fraction =
        static_cast<double>(numerator % kRecordingSampleRate) / kRecordingSampleRate;
    const int16_t a = index == consumed_ ? previous_ : input[index - 1 - consumed_];
    const int16_t b = input[index - consumed_];
    const float difference = static_cast<float>(b) - static_cast<float>(a);
    output[static_cast<size_t>(k - produced_)] =
        static_cast<int16_t>(std::lround(a + static_cast<double>(difference) * fraction));
  }
  previous_ = input[count - 1];
  consumed_ = total;
  produced_ = end;
  return output;
}

void StreamResampler::Restart() {
  started_ = false;
  consumed_ = 0;
  produced_ = 0;
  previous_ = 0;
}

bool IsAudible(const std::vector<int16_t>& samples) {
  return std::any_of(samples.begin(), samples.end(), [](int16_t sample) {
    return sample < -kSilenceThreshold || sample > kSilenceThreshold;
  });
}

}  // namespace halvex
