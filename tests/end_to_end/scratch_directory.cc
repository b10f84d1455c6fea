#include "tests/end_to_end/scratch_directory.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace halvex {
namespace demo {
namespace testing {

ScratchDirectory::ScratchDirectory() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "halvex-demo-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch directory from " + pattern);
  }
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path ScratchDirectory::Write(const std::string& name,
                                              const std::vector<uint8_t>& bytes) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream stream(file, std::ios::binary);
  stream.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  if (!stream) {
    throw std::runtime_error("cannot write " + file.string());
  }
  return file;
}

}  // namespace testing
}  // namespace demo
}  // namespace halvex
