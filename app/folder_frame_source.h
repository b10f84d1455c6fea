#ifndef HALVEX_APP_FOLDER_FRAME_SOURCE_H_
#define HALVEX_APP_FOLDER_FRAME_SOURCE_H_

#include <filesystem>
#include <memory>

#include "app/frame_source.h"

namespace halvex {
namespace demo {

// Lists the PNG files (extension ".png" in any letter case, regular files only) directly inside
// `directory`, sorted by file name byte by byte. Returns false and says why when the directory
// cannot be read.
bool ListPngFiles(const std::filesystem::path& directory,
                  std::vector<std::filesystem::path>* files,
                  std::string* error);

// Sends the PNG files of a folder as they are, one per frame, in name order.
class FolderFrameSource : public FrameSource {
 public:
  // Fails, with the reason in `error`, when the folder cannot be read, holds no PNG file, or holds
  // a ".png" file that does not start with the PNG signature: such input is refused before a
  // recording starts rather than silently dropped by the recorder.
  static std::unique_ptr<FolderFrameSource> Open(const std::filesystem::path& directory,
                                                 std::string* error);

  int64_t frame_count() const override { return static_cast<int64_t>(files_.size()); }
  bool ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) override;

  const std::vector<std::filesystem::path>& files() const { return files_; }

 private:
  explicit FolderFrameSource(std::vector<std::filesystem::path> files);

  std::vector<std::filesystem::path> files_;
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_FOLDER_FRAME_SOURCE_H_
