// The C runtime's start-up for a GUI program: records the process's arguments so that
// GetCommandLineW returns them as Windows would, then calls the program's wWinMain with the text
// after the program name and the normal show state.
#include <windows.h>

#include "win32_command_line.h"

int main(int argc, char** argv) {
  halvex::platform::win32::RecordProcessArguments(argc, argv);
  wchar_t* command_line = GetCommandLineW();
  const size_t tail = halvex::platform::win32::CommandLineTailOffset(command_line);
  return wWinMain(GetModuleHandleW(nullptr), nullptr, command_line + tail, SW_SHOWNORMAL);
}
