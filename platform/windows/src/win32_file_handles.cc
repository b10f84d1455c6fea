// File handles: CreateFileW, ReadFile, WriteFile, GetFileSizeEx, FlushFileBuffers, CloseHandle
// over the host system's file descriptors. Paths come as Windows writes them, with backslashes
// between folders.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>
#include <string>

#include "win32_desktop.h"
#include "win32_text.h"

namespace halvex::platform::win32 {
namespace {

struct FileHandle {
  int descriptor = -1;
  bool readable = false;
  bool writable = false;
};

// Every handle CreateFileW gave out and CloseHandle has not taken back: a handle is only ever
// used after it is found here, so a stale or made-up handle fails cleanly.
class OpenFiles {
 public:
  static OpenFiles& Get() {
    static OpenFiles* files = new OpenFiles();  // lives as long as the process, like a kernel's
    return *files;
  }

  HANDLE Add(FileHandle* file) {
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.insert(file);
    return file;
  }

  // The file behind `handle`, or null with ERROR_INVALID_HANDLE.
  FileHandle* Find(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = handles_.find(static_cast<FileHandle*>(handle));
    if (found == handles_.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return *found;
  }

  FileHandle* Remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = handles_.find(static_cast<FileHandle*>(handle));
    if (found == handles_.end()) {
      return nullptr;
    }
    FileHandle* file = *found;
    handles_.erase(found);
    return file;
  }

 private:
  std::mutex mutex_;
  std::set<FileHandle*> handles_;
};

DWORD ErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EIO:
      return ERROR_WRITE_FAULT;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

bool FolderExists(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) {
    return true;
  }
  struct stat status {};
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool OpenFlags(DWORD access, DWORD disposition, int* flags) {
  const bool read = (access & GENERIC_READ) != 0;
  const bool write = (access & GENERIC_WRITE) != 0;
  *flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW:
      *flags |= O_CREAT | O_EXCL;
      return true;
    case CREATE_ALWAYS:
      *flags |= O_CREAT | O_TRUNC;
      return true;
    case OPEN_EXISTING:
      return true;
    case OPEN_ALWAYS:
      *flags |= O_CREAT;
      return true;
    case TRUNCATE_EXISTING:
      *flags |= O_TRUNC;
      return write;
    default:
      return false;
  }
}

// The offset a call works at: the OVERLAPPED's, or -1 for the handle's own position.
off_t OffsetOf(const OVERLAPPED* overlapped) {
  if (overlapped == nullptr) {
    return -1;
  }
  return static_cast<off_t>((static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) |
                            overlapped->Offset);
}

}  // namespace
}  // namespace halvex::platform::win32

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName,
                          DWORD dwDesiredAccess,
                          DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition,
                          DWORD /*dwFlagsAndAttributes*/,
                          HANDLE /*hTemplateFile*/) {
  using namespace halvex::platform::win32;
  if (InjectedFault("CreateFileW")) {
    return INVALID_HANDLE_VALUE;
  }
  if (lpFileName == nullptr || *lpFileName == L'\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = 0;
  if (!OpenFlags(dwDesiredAccess, dwCreationDisposition, &flags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string path = Utf16ToUtf8(lpFileName);
  std::replace(path.begin(), path.end(), '\\', '/');
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // folders need FILE_FLAG_BACKUP_SEMANTICS on Windows
    return INVALID_HANDLE_VALUE;
  }
  const int descriptor = open(path.c_str(), flags, 0666);
  if (descriptor < 0) {
    const int error = errno;
    SetLastError(error == ENOENT && !FolderExists(path) ? ERROR_PATH_NOT_FOUND : ErrorOf(error));
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new FileHandle;
  file->descriptor = descriptor;
  file->readable = (dwDesiredAccess & GENERIC_READ) != 0;
  file->writable = (dwDesiredAccess & GENERIC_WRITE) != 0;
  return OpenFiles::Get().Add(file);
}

BOOL WINAPI ReadFile(HANDLE hFile,
                     LPVOID lpBuffer,
                     DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  using namespace halvex::platform::win32;
  if (lpNumberOfBytesRead != nullptr) {
    *lpNumberOfBytesRead = 0;
  }
  if (InjectedFault("ReadFile")) {
    return FALSE;
  }
  FileHandle* file = OpenFiles::Get().Find(hFile);
  if (file == nullptr) {
    return FALSE;
  }
  if (!file->readable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const off_t offset = OffsetOf(lpOverlapped);
  auto* bytes = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    const ssize_t count = offset < 0
                              ? read(file->descriptor, bytes + done, nNumberOfBytesToRead - done)
                              : pread(file->descriptor, bytes + done, nNumberOfBytesToRead - done,
                                      offset + static_cast<off_t>(done));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      SetLastError(ErrorOf(errno));
      return FALSE;
    }
    if (count == 0) {
      break;  // the end of the file
    }
    done += static_cast<DWORD>(count);
  }
  if (lpNumberOfBytesRead != nullptr) {
    *lpNumberOfBytesRead = done;
  }
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile,
                      LPCVOID lpBuffer,
                      DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  using namespace halvex::platform::win32;
  if (lpNumberOfBytesWritten != nullptr) {
    *lpNumberOfBytesWritten = 0;
  }
  if (InjectedFault("WriteFile")) {
    return FALSE;
  }
  FileHandle* file = OpenFiles::Get().Find(hFile);
  if (file == nullptr) {
    return FALSE;
  }
  if (!file->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const off_t offset = OffsetOf(lpOverlapped);
  const auto* bytes = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t count = offset < 0
                              ? write(file->descriptor, bytes + done, nNumberOfBytesToWrite - done)
                              : pwrite(file->descriptor, bytes + done, nNumberOfBytesToWrite - done,
                                       offset + static_cast<off_t>(done));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      SetLastError(count < 0 ? ErrorOf(errno) : ERROR_DISK_FULL);
      if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = done;
      }
      return FALSE;
    }
    done += static_cast<DWORD>(count);
  }
  if (lpNumberOfBytesWritten != nullptr) {
    *lpNumberOfBytesWritten = done;
  }
  return TRUE;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  using namespace halvex::platform::win32;
  if (InjectedFault("GetFileSizeEx")) {
    return FALSE;
  }
  FileHandle* file = OpenFiles::Get().Find(hFile);
  if (file == nullptr) {
    return FALSE;
  }
  if (lpFileSize == nullptr) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  struct stat status {};
  if (fstat(file->descriptor, &status) != 0) {
    SetLastError(ErrorOf(errno));
    return FALSE;
  }
  lpFileSize->QuadPart = static_cast<LONGLONG>(status.st_size);
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  using namespace halvex::platform::win32;
  if (InjectedFault("FlushFileBuffers")) {
    return FALSE;
  }
  FileHandle* file = OpenFiles::Get().Find(hFile);
  if (file == nullptr) {
    return FALSE;
  }
  if (!file->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(file->descriptor) != 0) {
    SetLastError(ErrorOf(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  using namespace halvex::platform::win32;
  if (InjectedFault("CloseHandle")) {
    return FALSE;
  }
  FileHandle* file = OpenFiles::Get().Remove(hObject);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  close(file->descriptor);
  delete file;
  return TRUE;
}

}  // extern "C"
