#include "messaging/byte_streams.h"

namespace flutter {

ByteStreamReader::~ByteStreamReader() = default;

ByteStreamWriter::~ByteStreamWriter() = default;

}  // namespace flutter
