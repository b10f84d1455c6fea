// Stand-in for the Windows SDK's command-line splitting.
#ifndef HALVEX_STANDIN_SHELLAPI_H_
#define HALVEX_STANDIN_SHELLAPI_H_

#include "minwindef.h"

extern "C" {

// Returns one LocalAlloc block (free it with LocalFree) holding *pNumArgs pointers followed by a
// null pointer and the texts; null with GetLastError() on failure.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

}  // extern "C"

#endif  // HALVEX_STANDIN_SHELLAPI_H_
