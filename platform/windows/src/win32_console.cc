// The console and the debugger. In the model the console is the process's own standard streams:
// attaching to or allocating one is recorded, and output keeps going where it went, so nothing
// written is lost.
#include <io.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "fault_injection.h"
#include "win32_desktop.h"

namespace halvex::platform::win32 {
namespace {

bool IsConsoleName(const char* name) {
  return strcasecmp(name, "CONOUT$") == 0 || strcasecmp(name, "CONIN$") == 0 ||
         strcasecmp(name, "CON") == 0;
}

bool IsStandardDescriptor(int descriptor) {
  return descriptor >= 0 && descriptor <= 2;
}

bool TracedByDebugger() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) {
      return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    }
  }
  return false;
}

}  // namespace

void ResetConsoleLocked(Desktop& desktop) {
  desktop.console = ConsoleModel{};
}

// A process started from a terminal has a console to attach to.
void DetectProcessConsoleLocked(Desktop& desktop) {
  desktop.console.parent_console = isatty(0) != 0 || isatty(1) != 0 || isatty(2) != 0;
  desktop.console.debugger = TracedByDebugger();
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::TheDesktop;

extern "C" {

BOOL WINAPI AttachConsole(DWORD dwProcessId) {
  Desktop& desktop = TheDesktop();
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    ++desktop.console.actions.attach_calls;
  }
  if (halvex::platform::win32::InjectedFault("AttachConsole")) {
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(desktop.mutex);
  halvex::testing::ConsoleActions& actions = desktop.console.actions;
  if (actions.attached || actions.allocated) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (dwProcessId != ATTACH_PARENT_PROCESS) {
    SetLastError(ERROR_INVALID_PARAMETER);  // The model knows no other process.
    return FALSE;
  }
  if (!desktop.console.parent_console) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  actions.attached = true;
  return TRUE;
}

BOOL WINAPI AllocConsole() {
  Desktop& desktop = TheDesktop();
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    ++desktop.console.actions.alloc_calls;
  }
  if (halvex::platform::win32::InjectedFault("AllocConsole")) {
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(desktop.mutex);
  halvex::testing::ConsoleActions& actions = desktop.console.actions;
  if (actions.attached || actions.allocated) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  actions.allocated = true;
  return TRUE;
}

BOOL WINAPI IsDebuggerPresent() {
  if (halvex::platform::win32::InjectedFault("IsDebuggerPresent")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return desktop.console.debugger ? TRUE : FALSE;
}

int _fileno(FILE* stream) {
  if (stream == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return fileno(stream);
}

int _dup2(int fd1, int fd2) {
  if (const std::optional<HRESULT> fault = halvex::platform::CheckFault("_dup2")) {
    errno = EBADF;
    return -1;
  }
  if (fd1 < 0 || fd2 < 0) {
    errno = EBADF;
    return -1;
  }
  Desktop& desktop = TheDesktop();
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    desktop.console.actions.duplications.emplace_back(fd1, fd2);
  }
  if (halvex::platform::win32::IsStandardDescriptor(fd1) &&
      halvex::platform::win32::IsStandardDescriptor(fd2)) {
    return 0;  // Both already are the console.
  }
  return dup2(fd1, fd2) == -1 ? -1 : 0;
}

errno_t freopen_s(FILE** pFile, const char* filename, const char* mode, FILE* stream) {
  const std::optional<HRESULT> fault = halvex::platform::CheckFault("freopen_s");
  if (pFile == nullptr || filename == nullptr || mode == nullptr || stream == nullptr) {
    if (pFile != nullptr) {
      *pFile = nullptr;
    }
    return EINVAL;
  }
  if (!halvex::platform::win32::IsConsoleName(filename)) {
    if (fault) {
      *pFile = nullptr;
      return HRESULT_CODE(*fault) != 0 ? HRESULT_CODE(*fault) : EIO;
    }
    *pFile = std::freopen(filename, mode, stream);
    return *pFile != nullptr ? 0 : errno;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  halvex::testing::ConsoleActions& actions = desktop.console.actions;
  const bool has_console = (actions.attached || actions.allocated) && !fault;
  actions.reopenings.push_back({fileno(stream), filename, mode, has_console});
  if (!has_console) {
    // The stream stays open on what it was: a failed reopening here loses nothing.
    *pFile = nullptr;
    return fault && HRESULT_CODE(*fault) != 0 ? HRESULT_CODE(*fault) : ENOENT;
  }
  *pFile = stream;
  return 0;
}

}  // extern "C"

namespace halvex::testing {

void SetParentConsole(bool present) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.console.parent_console = present;
}

void SetDebuggerPresent(bool present) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.console.debugger = present;
}

ConsoleActions GetConsoleActions() {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return desktop.console.actions;
}

}  // namespace halvex::testing
