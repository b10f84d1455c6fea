#include "mp4/box.h"

#include "mp4/byte_reader.h"

namespace halvex::mp4 {

std::string FourCcText(std::uint32_t type) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((type >> shift) & 0xff);
    text += (c >= 0x20 && c < 0x7f) ? c : '?';
  }
  return text;
}

BoxHeaderResult ParseBoxHeader(const std::uint8_t* bytes,
                               std::size_t available,
                               std::uint64_t offset,
                               std::uint64_t limit,
                               BoxHeader* header) {
  if (offset > limit || available < 8 || limit - offset < 8) {
    return BoxHeaderResult::kTruncated;
  }
  ByteReader reader(bytes, available);
  const std::uint32_t size32 = reader.U32();
  header->type = reader.U32();
  header->offset = offset;
  const std::uint64_t room = limit - offset;
  if (size32 == 1) {
    if (available < 16 || room < 16) {
      return BoxHeaderResult::kTruncated;
    }
    header->header_size = 16;
    header->size = reader.U64();
  } else if (size32 == 0) {
    header->header_size = 8;
    header->size = room;
  } else {
    header->header_size = 8;
    header->size = size32;
  }
  if (header->size < header->header_size) {
    return BoxHeaderResult::kInvalid;
  }
  if (header->size > room) {
    return BoxHeaderResult::kTruncated;
  }
  return BoxHeaderResult::kOk;
}

bool ReadChildBoxes(const std::uint8_t* data, std::size_t size, std::vector<ChildBox>* children) {
  children->clear();
  std::size_t position = 0;
  while (position < size) {
    const std::size_t available =
        size - position < kMaxBoxHeaderSize ? size - position : kMaxBoxHeaderSize;
    BoxHeader header;
    if (ParseBoxHeader(data + position, available, position, size, &header) !=
        BoxHeaderResult::kOk) {
      return false;
    }
    ChildBox child;
    child.type = header.type;
    child.box = data + position;
    child.size = static_cast<std::size_t>(header.size);
    child.payload = child.box + header.header_size;
    child.payload_size = child.size - header.header_size;
    children->push_back(child);
    position += child.size;
  }
  return true;
}

const ChildBox* FindChild(const std::vector<ChildBox>& children, std::uint32_t type) {
  for (const ChildBox& child : children) {
    if (child.type == type) {
      return &child;
    }
  }
  return nullptr;
}

}  // namespace halvex::mp4
