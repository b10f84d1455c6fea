// The PNG signature check, shared by the encoders of both systems.
#include <cstring>

#include "app/png_encoder.h"

namespace halvex {
namespace demo {

bool HasPngSignature(const uint8_t* data, size_t size) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data != nullptr && size >= sizeof(kSignature) &&
         std::memcmp(data, kSignature, sizeof(kSignature)) == 0;
}

}  // namespace demo
}  // namespace halvex
