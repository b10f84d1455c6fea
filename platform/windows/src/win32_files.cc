// Files. Paths come as Windows writes them, with backslashes between folders; the model turns
// them into the host system's paths.
#include <windows.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "win32_desktop.h"
#include "win32_text.h"

namespace halvex::platform::win32 {
namespace {

DWORD ErrorOfUnlink(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

}  // namespace
}  // namespace halvex::platform::win32

extern "C" {

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  using namespace halvex::platform::win32;
  if (InjectedFault("DeleteFileW")) {
    return FALSE;
  }
  if (lpFileName == nullptr || *lpFileName == L'\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::string path = Utf16ToUtf8(lpFileName);
  std::replace(path.begin(), path.end(), '\\', '/');
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // Windows removes folders with RemoveDirectoryW only.
    return FALSE;
  }
  if (unlink(path.c_str()) != 0) {
    SetLastError(ErrorOfUnlink(errno));
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
