#include "messaging/encodable_value.h"

#include <type_traits>

namespace flutter {

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return a.index() < b.index();
  }
  // Every payload's own operator< is the rule wanted: std::string compares as unsigned bytes,
  // vectors and maps lexicographically (maps over their sorted entries, each entry key first),
  // and both reach back here for nested values.
  return std::visit(
      [&b](const auto& lhs) {
        using Payload = std::decay_t<decltype(lhs)>;
        return lhs < std::get<Payload>(b.variant());
      },
      a.variant());
}

bool operator==(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return false;
  }
  return std::visit(
      [&b](const auto& lhs) {
        using Payload = std::decay_t<decltype(lhs)>;
        return lhs == std::get<Payload>(b.variant());
      },
      a.variant());
}

const EncodableValue* LookupTextKey(const EncodableMap& map, const char* key) {
  if (key == nullptr) {
    return nullptr;
  }
  auto entry = map.find(EncodableValue(key));
  return entry == map.end() ? nullptr : &entry->second;
}

}  // namespace flutter
