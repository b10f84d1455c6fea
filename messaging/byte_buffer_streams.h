#ifndef HALVEX_MESSAGING_BYTE_BUFFER_STREAMS_H_
#define HALVEX_MESSAGING_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/byte_streams.h"

namespace flutter {

// Reads a caller-owned byte range without copying it; the range must outlive the reader.
// Every read past the end prints "Invalid read in StandardCodecByteStreamReader" and leaves the
// position and the destination as they were.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override;

  ByteBufferStreamReader(const ByteBufferStreamReader&) = delete;
  ByteBufferStreamReader& operator=(const ByteBufferStreamReader&) = delete;

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override;
  std::vector<uint8_t> ReadByteList(size_t length) override;

 private:
  const uint8_t* bytes_;
  size_t size_;
  // May pass size_ through ReadAlignment; every read from there on fails.
  size_t location_ = 0;
};

// Appends to a caller-owned vector; alignment counts from the vector's first byte. The vector is
// given room for a small message at once, so that encoding one does not grow it step by step.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);
  ~ByteBufferStreamWriter() override;

  ByteBufferStreamWriter(const ByteBufferStreamWriter&) = delete;
  ByteBufferStreamWriter& operator=(const ByteBufferStreamWriter&) = delete;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_BYTE_BUFFER_STREAMS_H_
