// Bytes that end right before an inaccessible page, so that a kernel reading or writing one byte
// too far faults in the test that calls it.
#ifndef HALVEX_TESTS_RECORDER_GUARDED_BYTES_H_
#define HALVEX_TESTS_RECORDER_GUARDED_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace halvex {

// Bytes placed so that the last one sits right before an inaccessible page.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size) : size_(size) {
    const size_t page = PageSize();
    const size_t dataPages = (size + page - 1) / page;
    mappedSize_ = (dataPages + 1) * page;
#if defined(_WIN32)
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, mappedSize_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    protected_ = base_ != nullptr &&
                 VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &previous) != 0;
#else
    void* mapped =
        mmap(nullptr, mappedSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = mapped == MAP_FAILED ? nullptr : static_cast<uint8_t*>(mapped);
    protected_ = base_ != nullptr && mprotect(base_ + dataPages * page, page, PROT_NONE) == 0;
#endif
    data_ = base_ == nullptr ? nullptr : base_ + dataPages * page - size;
  }

  ~GuardedBytes() {
    if (base_ == nullptr) {
      return;
    }
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, mappedSize_);
#endif
  }

  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  bool ready() const {
    return protected_;
  }
  uint8_t* data() {
    return data_;
  }
  std::vector<uint8_t> Contents() const {
    return std::vector<uint8_t>(data_, data_ + size_);
  }

 private:
  static size_t PageSize() {
#if defined(_WIN32)
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
  }

  size_t size_;
  size_t mappedSize_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  bool protected_ = false;
};

}  // namespace halvex

#endif  // HALVEX_TESTS_RECORDER_GUARDED_BYTES_H_
