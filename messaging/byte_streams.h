#ifndef HALVEX_MESSAGING_BYTE_STREAMS_H_
#define HALVEX_MESSAGING_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flutter {

// The byte source that the serializer reads one message from.
class ByteStreamReader {
 public:
  virtual ~ByteStreamReader();

  // One byte, or 0 when none is left.
  virtual uint8_t ReadByte() = 0;
  // Copies `length` bytes to `buffer`, or, when fewer are left, copies nothing (and touches
  // nothing behind `buffer`) and stays where it is.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips to the next multiple of `alignment`, counted from the start of the message.
  virtual void ReadAlignment(uint8_t alignment) = 0;
  // Bytes between the position and the end of the message; 0 once the position is past it.
  // Bounds what a declared size may make the serializer allocate.
  virtual size_t RemainingBytes() const = 0;

  // Reads `length` bytes as a new byte list, failing as ReadBytes does (the list then holds
  // `length` zeros). A reader that holds the bytes in memory copies them once, without filling the
  // list first.
  virtual std::vector<uint8_t> ReadByteList(size_t length);

  // Lists and maps that are open around the value being read. The serializer bounds it; it lives
  // here because a reader serves the decoding of exactly one message.
  struct Nesting {
    int depth = 0;
    // Set when a container went past the bound, until the outermost one has unwound.
    bool exceeded = false;
  };
  Nesting& nesting() { return nesting_; }

 private:
  Nesting nesting_;
};

// The byte sink that the serializer writes one message to.
class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter();

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Pads with zero bytes to the next multiple of `alignment`, counted from the start of the
  // message.
  virtual void WriteAlignment(uint8_t alignment) = 0;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_BYTE_STREAMS_H_
