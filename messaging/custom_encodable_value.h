#ifndef HALVEX_MESSAGING_CUSTOM_ENCODABLE_VALUE_H_
#define HALVEX_MESSAGING_CUSTOM_ENCODABLE_VALUE_H_

#include <any>
#include <functional>
#include <typeinfo>

namespace flutter {

// Carries one object of an application-defined copyable type inside an EncodableValue, for codecs
// that know how to encode it. The standard codec does not.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}

  const std::type_info& type() const noexcept { return value_.type(); }

  // The held object, or nullptr when it is of another type.
  template <typename T>
  const T* TryGet() const noexcept {
    return std::any_cast<T>(&value_);
  }
  template <typename T>
  T* TryGet() noexcept {
    return std::any_cast<T>(&value_);
  }

  // The held object; throws std::bad_any_cast when it is of another type.
  template <typename T>
  const T& Get() const {
    return std::any_cast<const T&>(value_);
  }

  const std::any& value() const noexcept { return value_; }

  // Custom objects have no order of their own; identity is the only one that is always defined.
  bool operator<(const CustomEncodableValue& other) const {
    return std::less<const CustomEncodableValue*>()(this, &other);
  }
  bool operator==(const CustomEncodableValue& other) const { return this == &other; }
  bool operator!=(const CustomEncodableValue& other) const { return this != &other; }

 private:
  std::any value_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_CUSTOM_ENCODABLE_VALUE_H_
