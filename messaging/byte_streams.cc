#include "messaging/byte_streams.h"

namespace flutter {

ByteStreamReader::~ByteStreamReader() = default;

std::vector<uint8_t> ByteStreamReader::ReadByteList(size_t length) {
  std::vector<uint8_t> list(length);
  ReadBytes(list.data(), length);
  return list;
}

ByteStreamWriter::~ByteStreamWriter() = default;

}  // namespace flutter
