#include "messaging/encodable_value.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace flutter {
namespace {

// Orders are three-way (negative, zero, positive) so that each nested value is visited once per
// comparison. Built from operator< alone, a list or map entry would be compared both ways at
// every level, and two equal values nested n deep would cost 2^n steps: a few hundred bytes of
// message could stall the thread that decodes it.
int CompareValues(const EncodableValue& a, const EncodableValue& b);

// Leaves use their own operator<: custom values order by identity.
template <typename T>
int CompareLeaves(const T& a, const T& b) {
  if (a < b) {
    return -1;
  }
  return b < a ? 1 : 0;
}

// The floating-point less-than, except that NaN comes after every number and all NaNs are
// equivalent. Under the plain less-than a NaN is equivalent to every number while the numbers are
// not equivalent to each other, which is no ordering a map can be kept in: a message with NaN
// keys would build a map that depends on the order of its entries and is not the one it encodes.
// 0.0 and -0.0 stay equivalent.
template <typename Float>
int CompareFloats(Float a, Float b) {
  const bool a_is_nan = std::isnan(a);
  const bool b_is_nan = std::isnan(b);
  if (a_is_nan || b_is_nan) {
    return static_cast<int>(a_is_nan) - static_cast<int>(b_is_nan);
  }
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareLeaves(const double& a, const double& b) {
  return CompareFloats(a, b);
}

int CompareLeaves(const float& a, const float& b) {
  return CompareFloats(a, b);
}

int CompareElements(const EncodableValue& a, const EncodableValue& b) {
  return CompareValues(a, b);
}

template <typename T>
int CompareElements(const T& a, const T& b) {
  return CompareLeaves(a, b);
}

template <typename T>
int ComparePayloads(const T& a, const T& b) {
  return CompareLeaves(a, b);
}

// Lexicographic: the first differing element decides, else the shorter sequence is less.
template <typename T>
int ComparePayloads(const std::vector<T>& a, const std::vector<T>& b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (int order = CompareElements(a[i], b[i]); order != 0) {
      return order;
    }
  }
  return CompareLeaves(a.size(), b.size());
}

// Unsigned bytes, as a memory comparison orders them.
int ComparePayloads(const std::string& a, const std::string& b) {
  const int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// Entries in ascending key order, each by its key and then by its value.
int ComparePayloads(const EncodableMap& a, const EncodableMap& b) {
  auto left = a.begin();
  auto right = b.begin();
  for (; left != a.end() && right != b.end(); ++left, ++right) {
    if (int order = CompareValues(left->first, right->first); order != 0) {
      return order;
    }
    if (int order = CompareValues(left->second, right->second); order != 0) {
      return order;
    }
  }
  return CompareLeaves(a.size(), b.size());
}

int CompareValues(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) {
    return a.index() < b.index() ? -1 : 1;
  }
  return std::visit(
      [&b](const auto& lhs) {
        using Payload = std::decay_t<decltype(lhs)>;
        return ComparePayloads(lhs, std::get<Payload>(b.variant()));
      },
      a.variant());
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  return CompareValues(a, b) < 0;
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
