// The file the finisher works on: random access by byte offset, nothing else. Kept free of any
// system's types so that the same code runs on a Windows file, a memory buffer or a test's fake.
#ifndef HALVEX_MP4_RANDOM_ACCESS_FILE_H_
#define HALVEX_MP4_RANDOM_ACCESS_FILE_H_

#include <cstddef>
#include <cstdint>

namespace halvex::mp4 {

class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;

  // The file's current length in bytes.
  virtual bool Size(std::uint64_t* size) = 0;
  // Reads exactly `size` bytes at `offset`; false if any of them could not be read.
  virtual bool ReadAt(std::uint64_t offset, void* data, std::size_t size) = 0;
  // Writes all `size` bytes at `offset`, growing the file when they reach past its end.
  virtual bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  // Returns once everything written so far is durable on disk.
  virtual bool Flush() = 0;
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_RANDOM_ACCESS_FILE_H_
