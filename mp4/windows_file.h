// A RandomAccessFile over a Windows file handle: what the recorder and the command-line tool
// finish recordings with.
#ifndef HALVEX_MP4_WINDOWS_FILE_H_
#define HALVEX_MP4_WINDOWS_FILE_H_

#include <windows.h>

#include <memory>

#include "mp4/random_access_file.h"

namespace halvex::mp4 {

class WindowsFile : public RandomAccessFile {
 public:
  // Opens an existing file for reading and writing; others may still read it meanwhile. Null,
  // with the system's error code in *error, when it cannot be opened.
  static std::unique_ptr<WindowsFile> Open(const wchar_t* path, DWORD* error);
  ~WindowsFile() override;
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  bool Size(std::uint64_t* size) override;
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size) override;
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
  bool Flush() override;

 private:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}

  HANDLE handle_;
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_WINDOWS_FILE_H_
