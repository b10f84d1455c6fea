// The C runtime's start-up for a wide-character console program (wmain, as -municode gives on
// Windows): records the process's arguments so that GetCommandLineW returns them as Windows
// would, splits that command line as the runtime does and calls the program's wmain.
#include <shellapi.h>
#include <windows.h>

#include "win32_command_line.h"

int wmain(int argc, wchar_t** argv);

int main(int argc, char** argv) {
  halvex::platform::win32::RecordProcessArguments(argc, argv);
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) {
    return 1;
  }
  const int status = wmain(count, arguments);
  LocalFree(arguments);
  return status;
}
