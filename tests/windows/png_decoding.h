// Decoding a PNG to 32-bit BGRA through the Imaging Component, with the calls the recorder makes:
// the real component on Windows, the stand-in elsewhere.
#ifndef HALVEX_TESTS_WINDOWS_PNG_DECODING_H_
#define HALVEX_TESTS_WINDOWS_PNG_DECODING_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::testing {

struct DecodedPng {
  // Empty when every step succeeded; otherwise the step that failed and its HRESULT.
  std::string failure;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;  // rows of 4 × width bytes, alpha not premultiplied
};

// The calling thread must have entered COM.
DecodedPng DecodePngToBgra(const std::vector<uint8_t>& png);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_PNG_DECODING_H_
