#include "tests/mp4/test_files.h"

#include <algorithm>
#include <cstring>

namespace halvex::mp4_testing {

bool SparseFile::Size(std::uint64_t* size) {
  *size = size_;
  return true;
}

bool SparseFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  if (offset > size_ || size > size_ - offset) {
    return false;
  }
  auto* bytes = static_cast<std::uint8_t*>(data);
  std::memset(bytes, 0, size);
  for (const auto& [start, extent] : extents_) {
    const std::uint64_t end = start + extent.size();
    const std::uint64_t from = std::max(start, offset);
    const std::uint64_t to = std::min(end, offset + size);
    if (from < to) {
      std::memcpy(bytes + (from - offset), extent.data() + (from - start), to - from);
    }
  }
  return true;
}

bool SparseFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  // Overwrites are small (headers): write into an existing extent when one holds the range.
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (auto& [start, extent] : extents_) {
    if (offset >= start && offset + size <= start + extent.size()) {
      std::memcpy(extent.data() + (offset - start), bytes, size);
      return true;
    }
  }
  extents_[offset] = std::vector<std::uint8_t>(bytes, bytes + size);
  size_ = std::max(size_, offset + size);
  return true;
}

bool FailingFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (++writes_ == fail_write_) {
    if (torn_) {
      inner_.WriteAt(offset, data, size / 2);
    }
    return false;
  }
  return inner_.WriteAt(offset, data, size);
}

bool FailingFile::Flush() {
  if (++flushes_ == fail_flush_) {
    return false;
  }
  return inner_.Flush();
}

}  // namespace halvex::mp4_testing
