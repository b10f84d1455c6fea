// Big-endian reading of a byte range in memory. A read past the end fails the reader for good and
// yields zeros, so a parser checks ok() once after a group of fields.
#ifndef HALVEX_MP4_BYTE_READER_H_
#define HALVEX_MP4_BYTE_READER_H_

#include <cstddef>
#include <cstdint>

namespace halvex::mp4 {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return position_; }
  std::size_t remaining() const { return ok_ ? size_ - position_ : 0; }
  const std::uint8_t* current() const { return data_ + position_; }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Read(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Read(2)); }
  std::uint32_t U24() { return static_cast<std::uint32_t>(Read(3)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Read(4)); }
  std::uint64_t U64() { return Read(8); }
  std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
  std::int64_t S64() { return static_cast<std::int64_t>(U64()); }
  void Skip(std::size_t count) {
    if (!Has(count)) {
      return;
    }
    position_ += count;
  }

 private:
  bool Has(std::size_t count) {
    if (!ok_ || count > size_ - position_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  std::uint64_t Read(std::size_t count) {
    if (!Has(count)) {
      return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      value = (value << 8) | data_[position_ + i];
    }
    position_ += count;
    return value;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_BYTE_READER_H_
