#include "tests/mp4/box_surgery.h"

#include <cstring>

namespace halvex::mp4_testing {
namespace {

std::uint32_t Get32(const std::vector<std::uint8_t>& file, std::size_t at) {
  return (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) |
         (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
}

}  // namespace

Located TopLevelBox(const std::vector<std::uint8_t>& file, const char* type, int nth) {
  std::size_t offset = 0;
  while (offset + 8 <= file.size()) {
    const std::size_t size = Get32(file, offset);
    if (std::memcmp(&file[offset + 4], type, 4) == 0 && nth-- == 0) {
      return {offset, size};
    }
    if (size < 8) {
      break;
    }
    offset += size;
  }
  return {0, 0};
}

Located BoxInside(const std::vector<std::uint8_t>& file, const Located& parent, const char* type) {
  for (std::size_t at = parent.offset + 4; at + 4 <= parent.offset + parent.size; ++at) {
    if (std::memcmp(&file[at], type, 4) == 0) {
      return {at - 4, Get32(file, at - 4)};
    }
  }
  return {0, 0};
}

void Put32(std::vector<std::uint8_t>* file, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    (*file)[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }
}

}  // namespace halvex::mp4_testing
