// ComRef: the stand-in's own owner of one COM reference, released exactly once.
#ifndef HALVEX_STANDIN_COM_REF_H_
#define HALVEX_STANDIN_COM_REF_H_

#include <utility>

namespace halvex::platform {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Takes over a reference the caller already owns.
  static ComRef Adopt(T* object) {
    ComRef ref;
    ref.object_ = object;
    return ref;
  }
  // Adds a reference of its own.
  static ComRef Share(T* object) {
    if (object != nullptr) {
      object->AddRef();
    }
    return Adopt(object);
  }

  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() { Reset(); }

  void Reset() {
    if (object_ != nullptr) {
      std::exchange(object_, nullptr)->Release();
    }
  }

  // Hands the reference to the caller.
  T* Detach() { return std::exchange(object_, nullptr); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_REF_H_
