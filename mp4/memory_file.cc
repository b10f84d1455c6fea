#include "mp4/memory_file.h"

#include <cstring>
#include <limits>

namespace halvex::mp4 {

bool MemoryFile::Size(std::uint64_t* size) {
  *size = bytes_.size();
  return true;
}

bool MemoryFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) {
    return false;
  }
  if (size > 0) {
    std::memcpy(data, bytes_.data() + offset, size);
  }
  return true;
}

bool MemoryFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  // A buffer in memory cannot be as large as a file may: refuse rather than wrap around.
  const std::uint64_t limit = bytes_.max_size();
  if (offset > limit || size > limit - offset) {
    return false;
  }
  const std::size_t end = static_cast<std::size_t>(offset) + size;
  if (end > bytes_.size()) {
    bytes_.resize(end);
  }
  if (size > 0) {
    std::memcpy(bytes_.data() + offset, data, size);
  }
  return true;
}

}  // namespace halvex::mp4
