// Internal side of the command line: the process's real arguments and Windows' quoting rules.
#ifndef HALVEX_STANDIN_WIN32_COMMAND_LINE_H_
#define HALVEX_STANDIN_WIN32_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace halvex::platform::win32 {

// Called by the start-up code with main's arguments, before anything else; GetCommandLineW is
// built from them. Without it the arguments are read from the system.
void RecordProcessArguments(int argc, char** argv);

// The command line Windows would pass for these UTF-8 arguments (the first is the program path):
// CommandLineToArgvW gives every argument after the first back unchanged. The program path is
// quoted when it is empty or holds a space or tab; it cannot hold a quotation mark, so any is
// dropped.
std::wstring BuildCommandLine(const std::vector<std::string>& arguments);

// Where the arguments start after the program name, as the C runtime passes them to wWinMain.
size_t CommandLineTailOffset(const std::wstring& command_line);

}  // namespace halvex::platform::win32

#endif  // HALVEX_STANDIN_WIN32_COMMAND_LINE_H_
