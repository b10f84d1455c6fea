#include "messaging/byte_buffer_streams.h"

#include <cstring>

#include "messaging/diagnostic.h"

namespace flutter {
namespace {

void PrintInvalidRead() {
  halvex::PrintDiagnosticLine("Invalid read in StandardCodecByteStreamReader");
}

}  // namespace

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

ByteBufferStreamReader::~ByteBufferStreamReader() = default;

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) {
    PrintInvalidRead();
    return 0;
  }
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  // Written so that neither location_ + length nor size_ - location_ can wrap.
  if (location_ > size_ || length > size_ - location_) {
    PrintInvalidRead();
    return;
  }
  if (length > 0) {
    std::memcpy(buffer, bytes_ + location_, length);
  }
  location_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  size_t misalignment = location_ % alignment;
  if (misalignment != 0) {
    location_ += alignment - misalignment;
  }
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return location_ >= size_ ? 0 : size_ - location_;
}

std::vector<uint8_t> ByteBufferStreamReader::ReadByteList(size_t length) {
  if (location_ > size_ || length > size_ - location_) {
    PrintInvalidRead();
    return std::vector<uint8_t>(length);
  }
  const uint8_t* first = bytes_ + location_;
  location_ += length;
  return std::vector<uint8_t>(first, first + length);
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {
  // Method calls, their answers and the recorder's reports fit; larger values grow it as usual.
  constexpr size_t kSmallMessageBytes = 64;
  if (buffer_->capacity() < kSmallMessageBytes) {
    buffer_->reserve(kSmallMessageBytes);
  }
}

ByteBufferStreamWriter::~ByteBufferStreamWriter() = default;

void ByteBufferStreamWriter::WriteByte(uint8_t byte) {
  buffer_->push_back(byte);
}

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) {
    return;
  }
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) {
    return;
  }
  while (buffer_->size() % alignment != 0) {
    buffer_->push_back(0);
  }
}

}  // namespace flutter
