#include "tests/reliability/png_input_memory_watch.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

namespace halvex::reliability_testing {
namespace {

// Constant-initialised, so they are ready before any static constructor allocates.
std::atomic<bool> watching{false};
std::atomic<std::size_t> largestRequest{0};

void NoteRequest(std::size_t size) {
  if (!watching.load(std::memory_order_relaxed)) {
    return;
  }
  std::size_t largest = largestRequest.load(std::memory_order_relaxed);
  while (size > largest &&
         !largestRequest.compare_exchange_weak(largest, size, std::memory_order_relaxed)) {
  }
}

void* Allocate(std::size_t size) {
  NoteRequest(size);
  return std::malloc(size == 0 ? 1 : size);
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  NoteRequest(size);
  void* block = nullptr;
  const auto align = static_cast<std::size_t>(alignment);
  if (posix_memalign(&block, align < sizeof(void*) ? sizeof(void*) : align, size == 0 ? 1 : size) !=
      0) {
    return nullptr;
  }
  return block;
}

void* AllocateOrThrow(std::size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
  void* block = AllocateAligned(size, alignment);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

// A "Name: value kB" line of /proc/self/status, in bytes.
std::optional<std::size_t> StatusBytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    std::size_t kilobytes = 0;
    if (key == name + ":" && status >> kilobytes) {
      return kilobytes * 1024;
    }
    status.ignore(1 << 16, '\n');
  }
  return std::nullopt;
}

}  // namespace

MemoryWatch::MemoryWatch() {
  largestRequest.store(0);
  watching.store(true);
  // "5" resets the peak resident size to the current one.
  std::ofstream clear("/proc/self/clear_refs");
  if (clear << "5" << std::flush) {
    residentAtStart_ = StatusBytes("VmRSS");
  }
}

MemoryWatch::~MemoryWatch() {
  watching.store(false);
}

std::size_t MemoryWatch::LargestRequest() const {
  return largestRequest.load();
}

std::optional<std::size_t> MemoryWatch::ResidentPeakGrowth() const {
  const std::optional<std::size_t> peak = StatusBytes("VmHWM");
  if (!residentAtStart_ || !peak) {
    return std::nullopt;
  }
  return *peak > *residentAtStart_ ? *peak - *residentAtStart_ : 0;
}

}  // namespace halvex::reliability_testing

// Every form of the global allocation functions, so that each request is seen and every block
// goes back to the allocator it came from.
using halvex::reliability_testing::Allocate;
using halvex::reliability_testing::AllocateAligned;
using halvex::reliability_testing::AllocateAlignedOrThrow;
using halvex::reliability_testing::AllocateOrThrow;

void* operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}

void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(block);
}
