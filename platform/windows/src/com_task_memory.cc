#include "com_task_memory.h"

#include <combaseapi.h>

#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "fault_injection.h"
#include "windows_testing/com.h"

namespace halvex::platform {
namespace {

struct TaskMemory {
  std::mutex mutex;
  std::unordered_set<void*> live;
  int invalid_frees = 0;
};

TaskMemory& Memory() {
  static TaskMemory* memory = new TaskMemory();  // Never destroyed: used at exit.
  return *memory;
}

}  // namespace

void ResetTaskMemoryFaults() {
  TaskMemory& memory = Memory();
  std::lock_guard<std::mutex> lock(memory.mutex);
  memory.invalid_frees = 0;
}

}  // namespace halvex::platform

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
  if (halvex::platform::CheckFault("CoTaskMemAlloc")) {
    return nullptr;
  }
  // Zero bytes still give a distinct block, as on Windows.
  void* block = std::malloc(cb == 0 ? 1 : cb);
  if (block == nullptr) {
    return nullptr;
  }
  auto& memory = halvex::platform::Memory();
  std::lock_guard<std::mutex> lock(memory.mutex);
  memory.live.insert(block);
  return block;
}

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (pv == nullptr) {
    return CoTaskMemAlloc(cb);
  }
  auto& memory = halvex::platform::Memory();
  std::lock_guard<std::mutex> lock(memory.mutex);
  if (memory.live.count(pv) == 0) {
    ++memory.invalid_frees;
    return nullptr;
  }
  void* block = std::realloc(pv, cb == 0 ? 1 : cb);
  if (block == nullptr) {
    return nullptr;  // The old block stays valid and owned by the caller.
  }
  memory.live.erase(pv);
  memory.live.insert(block);
  return block;
}

void WINAPI CoTaskMemFree(LPVOID pv) {
  if (pv == nullptr) {
    return;
  }
  auto& memory = halvex::platform::Memory();
  {
    std::lock_guard<std::mutex> lock(memory.mutex);
    if (memory.live.erase(pv) == 0) {
      // A double free or a foreign pointer: freeing it would corrupt the heap.
      ++memory.invalid_frees;
      return;
    }
  }
  std::free(pv);
}

namespace halvex::testing {

int LiveTaskMemAllocations() {
  auto& memory = platform::Memory();
  std::lock_guard<std::mutex> lock(memory.mutex);
  return static_cast<int>(memory.live.size());
}

int InvalidTaskMemFrees() {
  auto& memory = platform::Memory();
  std::lock_guard<std::mutex> lock(memory.mutex);
  return memory.invalid_frees;
}

}  // namespace halvex::testing
