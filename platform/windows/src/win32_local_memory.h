// Internal side of local memory, which CommandLineToArgvW hands out.
#ifndef HALVEX_STANDIN_WIN32_LOCAL_MEMORY_H_
#define HALVEX_STANDIN_WIN32_LOCAL_MEMORY_H_

#include <windows.h>

namespace halvex::platform::win32 {

// LocalAlloc without its fault check.
HLOCAL LocalAllocInternal(UINT flags, SIZE_T bytes);

}  // namespace halvex::platform::win32

#endif  // HALVEX_STANDIN_WIN32_LOCAL_MEMORY_H_
