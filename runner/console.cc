#include "runner/console.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "engine_host/engine_library_windows.h"

namespace halvex {

void AttachOrOpenConsole() {
  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::IsDebuggerPresent()) {
    OpenDebugConsole();
  }
}

void OpenDebugConsole() {
  if (!::AllocConsole()) {
    return;
  }
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) {
    _dup2(_fileno(stdout), 1);
  }
  // Falls back to the output stream's descriptor: the error stream's own is the one that failed.
  if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) {
    _dup2(_fileno(stdout), 2);
  }
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace halvex
