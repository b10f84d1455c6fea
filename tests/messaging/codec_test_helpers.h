#ifndef HALVEX_TESTS_MESSAGING_CODEC_TEST_HELPERS_H_
#define HALVEX_TESTS_MESSAGING_CODEC_TEST_HELPERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter::test {

using Bytes = std::vector<uint8_t>;

inline const char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";
inline const char kTooDeep[] =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType: more than 512 levels of lists "
    "and maps";

inline Bytes Encode(const EncodableValue& value) {
  Bytes bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

inline EncodableValue Decode(const Bytes& bytes) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

inline Bytes Repeat(const Bytes& part, size_t times) {
  Bytes all;
  for (size_t i = 0; i < times; ++i) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

inline Bytes TextBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

}  // namespace flutter::test

#endif  // HALVEX_TESTS_MESSAGING_CODEC_TEST_HELPERS_H_
