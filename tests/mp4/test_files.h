// Files the finisher's tests run it on: a sparse file far larger than memory, and a file that
// fails its Nth write or flush the way a full disk or a pulled cable does.
#ifndef HALVEX_TESTS_MP4_TEST_FILES_H_
#define HALVEX_TESTS_MP4_TEST_FILES_H_

#include <cstdint>
#include <map>
#include <vector>

#include "mp4/random_access_file.h"

namespace halvex::mp4_testing {

// Holds only what was written; everything else reads as zeros, up to the furthest byte written.
class SparseFile : public mp4::RandomAccessFile {
 public:
  bool Size(std::uint64_t* size) override;
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  bool Flush() override { return true; }

 private:
  std::map<std::uint64_t, std::vector<std::uint8_t>> extents_;  // by start, never overlapping
  std::uint64_t size_ = 0;
};

// Passes every call to `inner`, except that the `fail_write`th write (counted from 1; 0: none)
// fails, after writing its first half when `torn`, and the `fail_flush`th flush fails.
class FailingFile : public mp4::RandomAccessFile {
 public:
  FailingFile(mp4::RandomAccessFile& inner, int fail_write, int fail_flush, bool torn)
      : inner_(inner), fail_write_(fail_write), fail_flush_(fail_flush), torn_(torn) {}

  bool Size(std::uint64_t* size) override { return inner_.Size(size); }
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override {
    return inner_.ReadAt(offset, data, size);
  }
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  bool Flush() override;

  int writes() const { return writes_; }
  int flushes() const { return flushes_; }

 private:
  mp4::RandomAccessFile& inner_;
  int fail_write_;
  int fail_flush_;
  bool torn_;
  int writes_ = 0;
  int flushes_ = 0;
};

}  // namespace halvex::mp4_testing

#endif  // HALVEX_TESTS_MP4_TEST_FILES_H_
