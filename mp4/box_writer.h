// Writes boxes into a byte buffer, big-endian, with each box's size filled in when it is closed.
#ifndef HALVEX_MP4_BOX_WRITER_H_
#define HALVEX_MP4_BOX_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex::mp4 {

class BoxWriter {
 public:
  void U8(std::uint8_t value) { bytes_.push_back(value); }
  void U16(std::uint16_t value) { Write(value, 2); }
  void U24(std::uint32_t value) { Write(value, 3); }
  void U32(std::uint32_t value) { Write(value, 4); }
  void U64(std::uint64_t value) { Write(value, 8); }
  void Bytes(const std::uint8_t* data, std::size_t size) {
    bytes_.insert(bytes_.end(), data, data + size);
  }
  void FullBoxHeader(std::uint8_t version, std::uint32_t flags) {
    U8(version);
    U24(flags);
  }

  // Opens a box of `type`; boxes nest. Every box written here stays below 4 GiB.
  void Open(std::uint32_t type) {
    open_.push_back(bytes_.size());
    U32(0);
    U32(type);
  }
  // Closes the innermost open box. False if it grew past what a 32-bit size can say.
  bool Close();

  std::size_t size() const { return bytes_.size(); }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  void Write(std::uint64_t value, int count) {
    for (int shift = (count - 1) * 8; shift >= 0; shift -= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
  }

  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> open_;
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_BOX_WRITER_H_
