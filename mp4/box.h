// Box headers, read without trusting them: every size is checked against the room its parent (or
// the file) has, before anything else looks at the box.
#ifndef HALVEX_MP4_BOX_H_
#define HALVEX_MP4_BOX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace halvex::mp4 {

constexpr std::uint32_t FourCc(const char (&text)[5]) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

// The type as text, with anything unprintable shown as '?', for reports.
std::string FourCcText(std::uint32_t type);

struct BoxHeader {
  std::uint32_t type = 0;
  std::uint64_t offset = 0;       // of the box's first byte
  std::uint64_t size = 0;         // the whole box, header included
  std::uint32_t header_size = 0;  // 8, or 16 with a 64-bit size (the uuid type is not counted)

  std::uint64_t end() const { return offset + size; }
  std::uint64_t payload_offset() const { return offset + header_size; }
  std::uint64_t payload_size() const { return size - header_size; }
};

enum class BoxHeaderResult {
  kOk,
  kTruncated,  // the header or the box reaches past `limit`
  kInvalid,    // a size smaller than its own header
};

// Longest header: 32-bit size, type, 64-bit size.
constexpr std::size_t kMaxBoxHeaderSize = 16;

// Reads the header of a box starting at `offset`, whose first bytes are `bytes` (as many of the
// kMaxBoxHeaderSize bytes as lie before `limit`), inside a parent that ends at `limit`. A size of
// 0 means "to the end of the parent".
BoxHeaderResult ParseBoxHeader(const std::uint8_t* bytes,
                               std::size_t available,
                               std::uint64_t offset,
                               std::uint64_t limit,
                               BoxHeader* header);

// A box inside a buffer already in memory.
struct ChildBox {
  std::uint32_t type = 0;
  const std::uint8_t* box = nullptr;  // first byte of the header
  std::size_t size = 0;               // the whole box
  const std::uint8_t* payload = nullptr;
  std::size_t payload_size = 0;
};

// Splits `data` into the boxes it holds. False if any of them does not fit exactly.
bool ReadChildBoxes(const std::uint8_t* data, std::size_t size, std::vector<ChildBox>* children);

// The first child of `type`, or null.
const ChildBox* FindChild(const std::vector<ChildBox>& children, std::uint32_t type);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_BOX_H_
