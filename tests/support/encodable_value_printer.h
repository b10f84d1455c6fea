#ifndef HALVEX_TESTS_SUPPORT_ENCODABLE_VALUE_PRINTER_H_
#define HALVEX_TESTS_SUPPORT_ENCODABLE_VALUE_PRINTER_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include "messaging/encodable_value.h"

namespace flutter {

// Lets test failures show values readably; found by GoogleTest through the argument's namespace.
inline void PrintTo(const EncodableValue& value, std::ostream* out);

namespace printer_detail {

template <typename T>
void PrintNumbers(const std::vector<T>& list, std::ostream* out) {
  *out << '[';
  for (size_t i = 0; i < list.size(); ++i) {
    *out << (i == 0 ? "" : ", ") << +list[i];
  }
  *out << ']';
}

}  // namespace printer_detail

inline void PrintTo(const EncodableValue& value, std::ostream* out) {
  std::visit(
      [out](const auto& payload) {
        using T = std::decay_t<decltype(payload)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          *out << "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          *out << (payload ? "true" : "false");
        } else if constexpr (std::is_same_v<T, int32_t>) {
          *out << payload;
        } else if constexpr (std::is_same_v<T, int64_t>) {
          *out << payload << 'L';
        } else if constexpr (std::is_same_v<T, double>) {
          *out << payload << 'd';
        } else if constexpr (std::is_same_v<T, std::string>) {
          *out << '"';
          for (char c : payload) {
            unsigned byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte >= 0x7F) {
              const char* digits = "0123456789ABCDEF";
              *out << "\\x" << digits[byte >> 4] << digits[byte & 0xF];
            } else {
              *out << c;
            }
          }
          *out << '"';
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          *out << '(';
          for (size_t i = 0; i < payload.size(); ++i) {
            *out << (i == 0 ? "" : ", ");
            PrintTo(payload[i], out);
          }
          *out << ')';
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          *out << '{';
          bool first = true;
          for (const auto& [key, entry] : payload) {
            *out << (first ? "" : ", ");
            first = false;
            PrintTo(key, out);
            *out << ": ";
            PrintTo(entry, out);
          }
          *out << '}';
        } else if constexpr (std::is_same_v<T, CustomEncodableValue>) {
          *out << "custom<" << payload.type().name() << '>';
        } else {
          printer_detail::PrintNumbers(payload, out);
        }
      },
      value.variant());
}

}  // namespace flutter

#endif  // HALVEX_TESTS_SUPPORT_ENCODABLE_VALUE_PRINTER_H_
