#ifndef HALVEX_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
#define HALVEX_MESSAGING_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "messaging/byte_streams.h"
#include "messaging/encodable_value.h"

namespace flutter {

// Writes values in the standard binary message format and reads them back. Stateless: the
// shared instance may be used from any thread. A derived serializer can take over more types by
// overriding WriteValue and ReadValueOfType and delegating the rest here.
class StandardCodecSerializer {
 public:
  // Lists and maps may be nested this deep in a message that is read; a deeper one makes the
  // whole value read as null, so hostile input cannot exhaust the stack.
  static constexpr int kMaxNestingDepth = 512;

  virtual ~StandardCodecSerializer();

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The instance shared by the whole program.
  static const StandardCodecSerializer& GetInstance();

  // Writes the type tag and the payload of `value`.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the payload for a type tag that has already been read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads one complete value: its tag, then its payload.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  size_t ReadSize(ByteStreamReader* stream) const;
  // Sizes above 0xFFFFFFFF are written as their low 32 bits: the format has no wider size.
  void WriteSize(size_t size, ByteStreamWriter* stream) const;

 protected:
  StandardCodecSerializer();

 private:
  EncodableValue ReadContainer(uint8_t type, ByteStreamReader* stream) const;
  EncodableValue ReadList(ByteStreamReader* stream) const;
  EncodableValue ReadMap(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_STANDARD_CODEC_SERIALIZER_H_
