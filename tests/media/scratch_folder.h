// A fresh folder for one test, removed with everything in it when the test ends.
#ifndef HALVEX_TESTS_MEDIA_SCRATCH_FOLDER_H_
#define HALVEX_TESTS_MEDIA_SCRATCH_FOLDER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::media_testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
std::vector<std::uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_SCRATCH_FOLDER_H_
