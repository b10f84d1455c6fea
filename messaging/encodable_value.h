#ifndef HALVEX_MESSAGING_ENCODABLE_VALUE_H_
#define HALVEX_MESSAGING_ENCODABLE_VALUE_H_

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "messaging/custom_encodable_value.h"

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
// Ordered by the value ordering (operator< below), never by insertion.
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// The index of each alternative is part of the contract: the ordering compares it first, and
// through the ordering it fixes the order of map entries on the wire. The float list comes last.
using EncodableValueVariant = std::variant<std::monostate,
                                           bool,
                                           int32_t,
                                           int64_t,
                                           double,
                                           std::string,
                                           std::vector<uint8_t>,
                                           std::vector<int32_t>,
                                           std::vector<int64_t>,
                                           std::vector<double>,
                                           EncodableList,
                                           EncodableMap,
                                           CustomEncodableValue,
                                           std::vector<float>>;

// One value of a message. Read it with std::get<T>(value) (throws std::bad_variant_access on
// another alternative) or std::get_if<T>(&value) (nullptr on another alternative).
class EncodableValue : public EncodableValueVariant {
 public:
  using EncodableValueVariant::EncodableValueVariant;
  using EncodableValueVariant::operator=;

  EncodableValue() = default;

  // Without this a string literal would convert to bool, a standard conversion that beats the
  // user-defined one to std::string.
  EncodableValue(const char* text) : EncodableValueVariant(std::string(text)) {}
  EncodableValue& operator=(const char* text) {
    EncodableValueVariant::operator=(std::string(text));
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  const EncodableValueVariant& variant() const { return *this; }
  EncodableValueVariant& variant() { return *this; }
};

// The total ordering of values: alternative index first, then the payload by the alternative's
// own rule (text as unsigned bytes, lists lexicographically, maps entry by entry in key order,
// custom values by address). Doubles and floats use the floating-point less-than, except that NaN
// comes after every number and all NaNs are equivalent, so that maps keyed by them stay ordered.
bool operator<(const EncodableValue& a, const EncodableValue& b);

// Structural equality: same alternative and equal payloads. Doubles compare with ==, so 0.0
// equals -0.0 and NaN equals nothing; custom values are equal only to themselves.
bool operator==(const EncodableValue& a, const EncodableValue& b);
inline bool operator!=(const EncodableValue& a, const EncodableValue& b) {
  return !(a == b);
}

// The value stored under the text key `key`, or nullptr. Keys of other alternatives never match.
const EncodableValue* LookupTextKey(const EncodableMap& map, const char* key);

}  // namespace flutter

#endif  // HALVEX_MESSAGING_ENCODABLE_VALUE_H_
