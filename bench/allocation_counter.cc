#include "bench/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace halvex::bench {
namespace {

std::atomic<uint64_t> allocations{0};

void* Allocate(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

uint64_t AllocationCount() {
  return allocations.load(std::memory_order_relaxed);
}

}  // namespace halvex::bench

void* operator new(std::size_t size) {
  void* memory = halvex::bench::Allocate(size);
  if (memory == nullptr) {
    throw std::bad_alloc();
  }
  return memory;
}

void* operator new[](std::size_t size) {
  return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return halvex::bench::Allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return halvex::bench::Allocate(size);
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}

void operator delete[](void* memory) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
