// Measuring pictures and sound the way a listener or viewer would notice a difference.
#ifndef HALVEX_TESTS_MEDIA_SIGNAL_ANALYSIS_H_
#define HALVEX_TESTS_MEDIA_SIGNAL_ANALYSIS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex::media_testing {

// `count` samples of a sine at `frequency` Hz with peak `amplitude` (of full scale), starting at
// sample `first` of the wave.
std::vector<std::int16_t> SineWave(double frequency,
                                   double amplitude,
                                   int rate,
                                   std::size_t count,
                                   std::size_t first = 0);

// The frequency of a steady tone, from the spacing of its rising zero crossings.
double ToneFrequency(const std::int16_t* samples, std::size_t count, int rate);

double RootMeanSquare(const std::int16_t* samples, std::size_t count);

// The index of the first sample whose magnitude exceeds `threshold`, or `count`.
std::size_t FirstLoudSample(const std::int16_t* samples, std::size_t count, int threshold);

// Peak signal-to-noise ratio of 8-bit data in dB; infinity for identical data.
double Psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_SIGNAL_ANALYSIS_H_
