#include "mp4/box_writer.h"

namespace halvex::mp4 {

bool BoxWriter::Close() {
  const std::size_t start = open_.back();
  open_.pop_back();
  const std::uint64_t size = bytes_.size() - start;
  if (size > 0xffffffffu) {
    return false;
  }
  for (int i = 0; i < 4; ++i) {
    bytes_[start + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
  }
  return true;
}

}  // namespace halvex::mp4
