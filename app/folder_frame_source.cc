#include "app/folder_frame_source.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "app/png_encoder.h"

namespace halvex {
namespace demo {
namespace {

bool HasPngExtension(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return extension == ".png";
}

bool ReadWholeFile(const std::filesystem::path& file,
                   std::vector<uint8_t>* bytes,
                   std::string* error) {
  bytes->clear();
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    *error = "cannot open '" + file.string() + "'";
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  if (stream.bad()) {
    bytes->clear();
    *error = "cannot read '" + file.string() + "'";
    return false;
  }
  return true;
}

bool StartsWithPngSignature(const std::filesystem::path& file, std::string* error) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) {
    *error = "cannot open '" + file.string() + "'";
    return false;
  }
  uint8_t head[8] = {};
  stream.read(reinterpret_cast<char*>(head), sizeof(head));
  if (!HasPngSignature(head, static_cast<size_t>(stream.gcount()))) {
    *error = "'" + file.string() + "' is not a PNG file (it does not start with the PNG signature)";
    return false;
  }
  return true;
}

}  // namespace

bool ListPngFiles(const std::filesystem::path& directory,
                  std::vector<std::filesystem::path>* files,
                  std::string* error) {
  files->clear();
  std::error_code failure;
  if (!std::filesystem::is_directory(directory, failure)) {
    *error = "'" + directory.string() + "' is not a folder";
    return false;
  }
  // The non-throwing forms throughout: an unreadable folder is reported, not thrown.
  const std::filesystem::directory_iterator end;
  for (std::filesystem::directory_iterator entry(directory, failure); !failure && entry != end;
       entry.increment(failure)) {
    std::error_code type_failure;
    if (entry->is_regular_file(type_failure) && HasPngExtension(entry->path())) {
      files->push_back(entry->path());
    }
  }
  if (failure) {
    files->clear();
    *error = "cannot read the folder '" + directory.string() + "': " + failure.message();
    return false;
  }
  std::sort(files->begin(), files->end(),
            [](const std::filesystem::path& a, const std::filesystem::path& b) {
              return a.filename().string() < b.filename().string();
            });
  return true;
}

std::unique_ptr<FolderFrameSource> FolderFrameSource::Open(const std::filesystem::path& directory,
                                                           std::string* error) {
  std::vector<std::filesystem::path> files;
  if (!ListPngFiles(directory, &files, error)) {
    return nullptr;
  }
  if (files.empty()) {
    *error = "the folder '" + directory.string() + "' holds no .png file";
    return nullptr;
  }
  for (const std::filesystem::path& file : files) {
    if (!StartsWithPngSignature(file, error)) {
      return nullptr;
    }
  }
  return std::unique_ptr<FolderFrameSource>(new FolderFrameSource(std::move(files)));
}

FolderFrameSource::FolderFrameSource(std::vector<std::filesystem::path> files)
    : files_(std::move(files)) {}

bool FolderFrameSource::ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) {
  if (index < 0 || index >= frame_count()) {
    *error = "frame " + std::to_string(index) + " is outside the folder's " +
             std::to_string(frame_count()) + " files";
    return false;
  }
  const std::filesystem::path& file = files_[static_cast<size_t>(index)];
  if (!ReadWholeFile(file, png, error)) {
    return false;
  }
  // The file was checked when the folder was opened; it may have changed since.
  if (!HasPngSignature(png->data(), png->size())) {
    *error = "'" + file.string() + "' is no longer a PNG file";
    png->clear();
    return false;
  }
  return true;
}

}  // namespace demo
}  // namespace halvex
