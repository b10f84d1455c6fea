#include "mp4/windows_file.h"

#include <algorithm>
#include <new>

namespace halvex::mp4 {
namespace {

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces.
constexpr std::size_t kMaxTransfer = 1u << 30;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset & 0xffffffffu);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

}  // namespace

std::unique_ptr<WindowsFile> WindowsFile::Open(const wchar_t* path, DWORD* error) {
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  std::unique_ptr<WindowsFile> file(new (std::nothrow) WindowsFile(handle));
  if (!file) {
    CloseHandle(handle);
    *error = ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
  }
  *error = ERROR_SUCCESS;
  return file;
}

WindowsFile::~WindowsFile() {
  CloseHandle(handle_);
}

bool WindowsFile::Size(std::uint64_t* size) {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(handle_, &length) || length.QuadPart < 0) {
    return false;
  }
  *size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

bool WindowsFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min(size, kMaxTransfer));
    OVERLAPPED overlapped = At(offset);
    DWORD read = 0;
    // Fewer bytes than asked means the end of the file came first.
    if (!ReadFile(handle_, bytes, piece, &read, &overlapped) || read != piece) {
      return false;
    }
    bytes += piece;
    offset += piece;
    size -= piece;
  }
  return true;
}

bool WindowsFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min(size, kMaxTransfer));
    OVERLAPPED overlapped = At(offset);
    DWORD written = 0;
    if (!WriteFile(handle_, bytes, piece, &written, &overlapped) || written != piece) {
      return false;
    }
    bytes += piece;
    offset += piece;
    size -= piece;
  }
  return true;
}

bool WindowsFile::Flush() {
  return FlushFileBuffers(handle_) != FALSE;
}

}  // namespace halvex::mp4
