// Internal side of the module model: the executable, the system's own modules and loaded
// libraries.
#ifndef HALVEX_STANDIN_WIN32_MODULES_H_
#define HALVEX_STANDIN_WIN32_MODULES_H_

#include <string>
#include <vector>

#include "win32_desktop.h"

namespace halvex::platform::win32 {

HMODULE ExecutableModule();
bool IsKnownModuleLocked(Desktop& desktop, HMODULE module);

// The files a library name may stand for, in the order they are tried (see LoadLibraryW).
std::vector<std::string> LibraryCandidates(const std::string& name);

}  // namespace halvex::platform::win32

// Available to GetProcAddress on "user32.dll" only, as on Windows.
extern "C" BOOL WINAPI EnableNonClientDpiScaling(HWND hwnd);

#endif  // HALVEX_STANDIN_WIN32_MODULES_H_
