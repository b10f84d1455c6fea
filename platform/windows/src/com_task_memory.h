// Bookkeeping of CoTaskMemAlloc blocks.
#ifndef HALVEX_STANDIN_COM_TASK_MEMORY_H_
#define HALVEX_STANDIN_COM_TASK_MEMORY_H_

namespace halvex::platform {

// Zeroes the count of invalid CoTaskMemFree calls.
void ResetTaskMemoryFaults();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_TASK_MEMORY_H_
