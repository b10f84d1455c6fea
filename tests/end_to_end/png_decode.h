// Decodes PNG images back to pixels with a decoder of their own, apart from the Imaging Component
// path the recorder takes (tests/windows/png_decoding.h), so the demo's encoder is checked by
// something it does not share code with.
#ifndef HALVEX_TESTS_END_TO_END_PNG_DECODE_H_
#define HALVEX_TESTS_END_TO_END_PNG_DECODE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {
namespace demo {
namespace testing {

struct DecodedPng {
  bool ok = false;
  std::string error;
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bit_depth = 0;
  uint8_t color_type = 0;
  std::vector<uint8_t> rgb;  // 8-bit RGB, rows top to bottom
};

DecodedPng DecodePng(const std::vector<uint8_t>& png);

}  // namespace testing
}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_TESTS_END_TO_END_PNG_DECODE_H_
