#include "app/beeper.h"

#include <algorithm>
#include <cmath>

namespace halvex {
namespace demo {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFrequency = 1000.0;
constexpr double kSeconds = 0.1;
constexpr double kFadeSeconds = 0.005;
constexpr double kAmplitude = 0.5 * 32767.0;

}  // namespace

std::vector<int16_t> BeepSamples(int rate) {
  if (rate <= 0) {
    return {};
  }
  const auto count = static_cast<size_t>(std::lround(kSeconds * rate));
  const double fade = kFadeSeconds * rate;
  std::vector<int16_t> beep(count);
  for (size_t i = 0; i < count; ++i) {
    const double edge =
        std::min<double>(static_cast<double>(i), static_cast<double>(count - 1 - i));
    const double gain = std::min(1.0, edge / fade);
    beep[i] = static_cast<int16_t>(std::lround(
        kAmplitude * gain * std::sin(2.0 * kPi * kFrequency * static_cast<double>(i) / rate)));
  }
  return beep;
}

void MixBeeps(int64_t first,
              const std::vector<int64_t>& starts,
              const std::vector<int16_t>& beep,
              std::vector<int16_t>* chunk) {
  const auto length = static_cast<int64_t>(chunk->size());
  const auto beepLength = static_cast<int64_t>(beep.size());
  for (int64_t start : starts) {
    const int64_t from = std::max(start, first);
    const int64_t to = std::min(start + beepLength, first + length);
    for (int64_t sample = from; sample < to; ++sample) {
      int16_t& out = (*chunk)[static_cast<size_t>(sample - first)];
      const int32_t mixed = out + beep[static_cast<size_t>(sample - start)];
      out = static_cast<int16_t>(std::clamp<int32_t>(mixed, INT16_MIN, INT16_MAX));
    }
  }
}

}  // namespace demo
}  // namespace halvex
