#include "signal_analysis.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace halvex::media_testing {

std::vector<std::int16_t> SineWave(double frequency,
                                   double amplitude,
                                   int rate,
                                   std::size_t count,
                                   std::size_t first) {
  const double kTwoPi = 6.283185307179586;
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double phase = kTwoPi * frequency * static_cast<double>(first + i) / rate;
    samples[i] = static_cast<std::int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
  }
  return samples;
}

double ToneFrequency(const std::int16_t* samples, std::size_t count, int rate) {
  double first_crossing = -1.0;
  double last_crossing = -1.0;
  int crossings = 0;
  for (std::size_t i = 1; i < count; ++i) {
    if (samples[i - 1] < 0 && samples[i] >= 0) {
      // Where the line between the two samples meets zero.
      const double at = static_cast<double>(i - 1) +
                        static_cast<double>(-samples[i - 1]) / (samples[i] - samples[i - 1]);
      if (first_crossing < 0) {
        first_crossing = at;
      }
      last_crossing = at;
      ++crossings;
    }
  }
  if (crossings < 2) {
    return 0.0;
  }
  return (crossings - 1) * static_cast<double>(rate) / (last_crossing - first_crossing);
}

double RootMeanSquare(const std::int16_t* samples, std::size_t count) {
  if (count == 0) {
    return 0.0;
  }
  double sum = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    sum += static_cast<double>(samples[i]) * samples[i];
  }
  return std::sqrt(sum / static_cast<double>(count));
}

std::size_t FirstLoudSample(const std::int16_t* samples, std::size_t count, int threshold) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::abs(int{samples[i]}) > threshold) {
      return i;
    }
  }
  return count;
}

double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
  double squared = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    squared += d * d;
  }
  if (squared == 0.0) {
    return std::numeric_limits<double>::infinity();
  }
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(count) / squared);
}

}  // namespace halvex::media_testing
