// What a piece of code costs in memory: the largest single request it makes of operator new (in
// any of its forms, from any library of the process), and how far it raises the process's peak
// resident memory.
#ifndef HALVEX_TESTS_RELIABILITY_PNG_INPUT_MEMORY_WATCH_H_
#define HALVEX_TESTS_RELIABILITY_PNG_INPUT_MEMORY_WATCH_H_

#include <cstddef>
#include <optional>

namespace halvex::reliability_testing {

// Watches from construction to destruction; one at a time.
class MemoryWatch {
 public:
  MemoryWatch();
  ~MemoryWatch();
  MemoryWatch(const MemoryWatch&) = delete;
  MemoryWatch& operator=(const MemoryWatch&) = delete;

  // The largest number of bytes asked of operator new so far, granted or not.
  std::size_t LargestRequest() const;

  // Peak resident memory now less resident memory at construction; empty where the peak cannot
  // be reset (no writable /proc/self/clear_refs).
  std::optional<std::size_t> ResidentPeakGrowth() const;

 private:
  std::optional<std::size_t> residentAtStart_;
};

}  // namespace halvex::reliability_testing

#endif  // HALVEX_TESTS_RELIABILITY_PNG_INPUT_MEMORY_WATCH_H_
