// A RandomAccessFile held in memory: for the fuzz target and the tests, and for callers that have
// the whole recording in a buffer.
#ifndef HALVEX_MP4_MEMORY_FILE_H_
#define HALVEX_MP4_MEMORY_FILE_H_

#include <cstdint>
#include <vector>

#include "mp4/random_access_file.h"

namespace halvex::mp4 {

class MemoryFile : public RandomAccessFile {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool Size(std::uint64_t* size) override;
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  bool Flush() override { return true; }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_MEMORY_FILE_H_
