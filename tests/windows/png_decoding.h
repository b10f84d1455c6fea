// The tests' one way to decode a PNG as the recorder does: to 32-bit BGRA through the Imaging
// Component, with the recorder's calls in its order (the real component on Windows, the stand-in
// elsewhere). Tests of the imaging objects themselves can ask for the frame's own calls as well.
#ifndef HALVEX_TESTS_WINDOWS_PNG_DECODING_H_
#define HALVEX_TESTS_WINDOWS_PNG_DECODING_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::testing {

struct DecodedPng {
  // Empty when every step succeeded; otherwise the step that failed and its HRESULT.
  std::string failure;
  // The first call that failed, as "Interface::Method" (empty when none did), and its result.
  std::string failed_call;
  HRESULT result = S_OK;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;  // rows of 4 × width bytes, alpha not premultiplied
  // With FrameCalls::copy_pixels: the same copy made from the frame itself, and its result. It is
  // made once the converter was set up, whether or not the converter's copy succeeded.
  std::vector<uint8_t> frame_bgra;
  HRESULT frame_copy_result = S_OK;
};

// Calls on the decoded frame that the recorder does not make.
struct FrameCalls {
  bool get_size = false;     // IWICBitmapFrameDecode::GetSize, right after GetFrame
  bool copy_pixels = false;  // IWICBitmapFrameDecode::CopyPixels, after the converter's copy
};

// The calling thread must have entered COM.
DecodedPng DecodePngToBgra(const std::vector<uint8_t>& png, FrameCalls frame_calls = {});

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_PNG_DECODING_H_
