// Owners for COM references and COM task memory, so that every object the recorder makes is
// released exactly once on every path.
#ifndef HALVEX_RECORDER_COM_PTR_H_
#define HALVEX_RECORDER_COM_PTR_H_

#include <objbase.h>

#include <utility>

namespace halvex {

// Owns one reference to a COM object.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset(other.Detach());
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // Releases the reference held, then takes over `pointer`'s reference.
  void Reset(Interface* pointer = nullptr) {
    Interface* previous = pointer_;
    pointer_ = pointer;
    if (previous != nullptr) {
      previous->Release();
    }
  }

  // Gives the reference away without releasing it.
  Interface* Detach() { return std::exchange(pointer_, nullptr); }

  // For out-parameters: releases what is held and lends the slot to the call that fills it.
  Interface** Put() {
    Reset();
    return &pointer_;
  }

 private:
  Interface* pointer_ = nullptr;
};

// Owns memory the system allocated with CoTaskMemAlloc on the caller's behalf.
template <typename T>
class CoTaskMemPtr {
 public:
  CoTaskMemPtr() = default;
  CoTaskMemPtr(const CoTaskMemPtr&) = delete;
  CoTaskMemPtr& operator=(const CoTaskMemPtr&) = delete;
  ~CoTaskMemPtr() { Reset(); }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  void Reset() {
    if (pointer_ != nullptr) {
      CoTaskMemFree(pointer_);
      pointer_ = nullptr;
    }
  }

  T** Put() {
    Reset();
    return &pointer_;
  }

 private:
  T* pointer_ = nullptr;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_COM_PTR_H_
