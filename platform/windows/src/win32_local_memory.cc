// Local memory: fixed blocks that only LocalFree may release, and only once.
#include "win32_local_memory.h"

#include <cstdlib>

#include "win32_desktop.h"

namespace halvex::platform::win32 {

HLOCAL LocalAllocInternal(UINT flags, SIZE_T bytes) {
  if ((flags & ~LMEM_ZEROINIT) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);  // Only fixed memory is modelled.
    return nullptr;
  }
  const size_t size = bytes == 0 ? 1 : bytes;
  void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.local_blocks.insert(block);
  return block;
}

}  // namespace halvex::platform::win32

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if (halvex::platform::win32::InjectedFault("LocalAlloc")) {
    return nullptr;
  }
  return halvex::platform::win32::LocalAllocInternal(uFlags, uBytes);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  if (hMem == nullptr) {
    return nullptr;
  }
  if (halvex::platform::win32::InjectedFault("LocalFree")) {
    return hMem;
  }
  halvex::platform::win32::Desktop& desktop = halvex::platform::win32::TheDesktop();
  {
    std::lock_guard<std::mutex> lock(desktop.mutex);
    // A block that is not ours, or was freed already, is refused rather than corrupting the heap.
    if (desktop.local_blocks.erase(hMem) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
  }
  std::free(hMem);
  return nullptr;
}

}  // extern "C"
