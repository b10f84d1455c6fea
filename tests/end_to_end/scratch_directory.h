// A fresh directory for one test, removed with everything in it when the test ends.
#ifndef HALVEX_TESTS_END_TO_END_SCRATCH_DIRECTORY_H_
#define HALVEX_TESTS_END_TO_END_SCRATCH_DIRECTORY_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvex {
namespace demo {
namespace testing {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` to the file `name` inside the directory and returns its path.
  std::filesystem::path Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testing
}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_TESTS_END_TO_END_SCRATCH_DIRECTORY_H_
