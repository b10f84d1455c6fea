// Finding and patching boxes in a built file, to damage or cut it the ways the tests need.
#ifndef HALVEX_TESTS_MP4_BOX_SURGERY_H_
#define HALVEX_TESTS_MP4_BOX_SURGERY_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::mp4_testing {

struct Located {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// The `nth` (from 0) top-level box of `type`.
Located TopLevelBox(const std::vector<std::uint8_t>& file, const char* type, int nth);
// The first box of `type` inside `parent` (searched by its four characters: headers only).
Located BoxInside(const std::vector<std::uint8_t>& file, const Located& parent, const char* type);
void Put32(std::vector<std::uint8_t>* file, std::size_t at, std::uint32_t value);

}  // namespace halvex::mp4_testing

#endif  // HALVEX_TESTS_MP4_BOX_SURGERY_H_
