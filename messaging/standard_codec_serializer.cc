#include "messaging/standard_codec_serializer.h"

#include <string>
#include <utility>
#include <vector>

#include "messaging/diagnostic.h"

// Numbers are copied in memory order, which is the wire order only on little-endian hosts.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "The message format is little-endian; big-endian hosts are not supported."
#endif

namespace flutter {
namespace {

enum TypeTag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // Never written; read as text.
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

template <typename T>
void WriteNumber(T number, ByteStreamWriter* stream) {
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), sizeof(T));
}

template <typename T>
T ReadNumber(ByteStreamReader* stream) {
  T number = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), sizeof(T));
  return number;
}

// The declared size cannot be there: let the read that the format calls for fail as it must
// (its diagnostic, nothing consumed) without preparing storage for it.
void FailOversizedRead(size_t length, ByteStreamReader* stream) {
  stream->ReadBytes(nullptr, length);
}

template <typename T>
std::vector<T> ReadNumberList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  size_t count = serializer.ReadSize(stream);
  // Judged before the alignment, so a list cut short by its padding keeps its zeros.
  bool could_be_there = count <= stream->RemainingBytes() / sizeof(T);
  std::vector<T> list(could_be_there ? count : 0);
  stream->ReadAlignment(sizeof(T));
  if (!could_be_there) {
    FailOversizedRead(count * sizeof(T), stream);
    return list;
  }
  stream->ReadBytes(reinterpret_cast<uint8_t*>(list.data()), count * sizeof(T));
  return list;
}

template <typename T>
void WriteNumberList(const std::vector<T>& list,
                     const StandardCodecSerializer& serializer,
                     ByteStreamWriter* stream) {
  serializer.WriteSize(list.size(), stream);
  // Padded even for an empty list, because the reader always aligns.
  stream->WriteAlignment(sizeof(T));
  if (!list.empty()) {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(T));
  }
}

uint8_t TagOf(const EncodableValue& value) {
  switch (value.index()) {
    case 0:
      return kNull;
    case 1:
      return std::get<bool>(value) ? kTrue : kFalse;
    case 2:
      return kInt32;
    case 3:
      return kInt64;
    case 4:
      return kFloat64;
    case 5:
      return kString;
    case 6:
      return kUInt8List;
    case 7:
      return kInt32List;
    case 8:
      return kInt64List;
    case 9:
      return kFloat64List;
    case 10:
      return kList;
    case 11:
      return kMap;
    case 13:
      return kFloat32List;
    default:
      return kNull;  // The custom value reaches the other side as null.
  }
}

// Keeps the nesting depth right whichever way reading a container ends.
class NestingScope {
 public:
  explicit NestingScope(ByteStreamReader::Nesting* nesting) : nesting_(nesting) {
    ++nesting_->depth;
  }
  ~NestingScope() { --nesting_->depth; }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

 private:
  ByteStreamReader::Nesting* nesting_;
};

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;

StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  stream->WriteByte(TagOf(value));
  switch (value.index()) {
    case 0:
    case 1:
      break;
    case 2:
      WriteNumber(std::get<int32_t>(value), stream);
      break;
    case 3:
      WriteNumber(std::get<int64_t>(value), stream);
      break;
    case 4:
      stream->WriteAlignment(8);
      WriteNumber(std::get<double>(value), stream);
      break;
    case 5: {
      const auto& text = std::get<std::string>(value);
      WriteSize(text.size(), stream);
      if (!text.empty()) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      }
      break;
    }
    case 6: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value);
      WriteSize(bytes.size(), stream);
      if (!bytes.empty()) {
        stream->WriteBytes(bytes.data(), bytes.size());
      }
      break;
    }
    case 7:
      WriteNumberList(std::get<std::vector<int32_t>>(value), *this, stream);
      break;
    case 8:
      WriteNumberList(std::get<std::vector<int64_t>>(value), *this, stream);
      break;
    case 9:
      WriteNumberList(std::get<std::vector<double>>(value), *this, stream);
      break;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      WriteSize(list.size(), stream);
      for (const EncodableValue& element : list) {
        WriteValue(element, stream);
      }
      break;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      WriteSize(map.size(), stream);
      for (const auto& [key, entry_value] : map) {
        WriteValue(key, stream);
        WriteValue(entry_value, stream);
      }
      break;
    }
    case 12:
      halvex::PrintDiagnosticLine(
          "Unhandled custom type in StandardCodecSerializer::WriteValue. "
          "Custom types require codec extensions.");
      break;
    case 13:
      WriteNumberList(std::get<std::vector<float>>(value), *this, stream);
      break;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadNumber<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadNumber<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadNumber<double>(stream));
    case kLargeInt:
    case kString: {
      size_t length = ReadSize(stream);
      if (length > stream->RemainingBytes()) {
        FailOversizedRead(length, stream);
        return EncodableValue(std::string());
      }
      std::string text(length, '\0');
      stream->ReadBytes(reinterpret_cast<uint8_t*>(text.data()), length);
      return EncodableValue(std::move(text));
    }
    case kUInt8List: {
      size_t length = ReadSize(stream);
      if (length > stream->RemainingBytes()) {
        FailOversizedRead(length, stream);
        return EncodableValue(std::vector<uint8_t>());
      }
      return EncodableValue(stream->ReadByteList(length));
    }
    case kInt32List:
      return EncodableValue(ReadNumberList<int32_t>(*this, stream));
    case kInt64List:
      return EncodableValue(ReadNumberList<int64_t>(*this, stream));
    case kFloat64List:
      return EncodableValue(ReadNumberList<double>(*this, stream));
    case kFloat32List:
      return EncodableValue(ReadNumberList<float>(*this, stream));
    case kList:
    case kMap:
      return ReadContainer(type, stream);
    default:
      halvex::PrintDiagnosticLine("Unknown type in StandardCodecSerializer::ReadValueOfType: " +
                                  std::to_string(type));
      return EncodableValue();
  }
}

EncodableValue StandardCodecSerializer::ReadContainer(uint8_t type,
                                                      ByteStreamReader* stream) const {
  ByteStreamReader::Nesting& nesting = stream->nesting();
  if (nesting.exceeded) {
    return EncodableValue();  // Unwinding after the bound was passed: read nothing more.
  }
  if (nesting.depth >= kMaxNestingDepth) {
    halvex::PrintDiagnosticLine(
        "Nesting too deep in StandardCodecSerializer::ReadValueOfType: more than " +
        std::to_string(kMaxNestingDepth) + " levels of lists and maps");
    nesting.exceeded = true;
    return EncodableValue();
  }
  EncodableValue value;
  {
    NestingScope scope(&nesting);
    value = type == kList ? ReadList(stream) : ReadMap(stream);
  }
  if (nesting.depth == 0 && nesting.exceeded) {
    nesting.exceeded = false;  // The reader may go on with the next value of the message.
    return EncodableValue();
  }
  return value;
}

// Once the message has no bytes left, one more element is read (null, with its diagnostic) and
// the count declared beyond it is dropped: it cannot be there, and honouring it would let a few
// bytes claim billions of elements.
EncodableValue StandardCodecSerializer::ReadList(ByteStreamReader* stream) const {
  size_t count = ReadSize(stream);
  EncodableList list;
  for (size_t i = 0; i < count && !stream->nesting().exceeded; ++i) {
    bool message_exhausted = stream->RemainingBytes() == 0;
    list.push_back(ReadValue(stream));
    if (message_exhausted) {
      break;
    }
  }
  return EncodableValue(std::move(list));
}

// As ReadList; a key that is already present keeps its first value.
EncodableValue StandardCodecSerializer::ReadMap(ByteStreamReader* stream) const {
  size_t count = ReadSize(stream);
  EncodableMap map;
  for (size_t i = 0; i < count && !stream->nesting().exceeded; ++i) {
    bool message_exhausted = stream->RemainingBytes() == 0;
    EncodableValue key = ReadValue(stream);
    if (stream->nesting().exceeded) {
      break;
    }
    EncodableValue value = ReadValue(stream);
    map.emplace(std::move(key), std::move(value));
    if (message_exhausted) {
      break;
    }
  }
  return EncodableValue(std::move(map));
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  uint8_t first = stream->ReadByte();
  if (first < 254) {
    return first;
  }
  if (first == 254) {
    return ReadNumber<uint16_t>(stream);
  }
  return ReadNumber<uint32_t>(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->WriteByte(254);
    WriteNumber(static_cast<uint16_t>(size), stream);
  } else {
    stream->WriteByte(255);
    WriteNumber(static_cast<uint32_t>(size), stream);
  }
}

}  // namespace flutter
