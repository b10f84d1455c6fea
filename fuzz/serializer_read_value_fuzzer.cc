// Reads one value from arbitrary bytes, then checks that its encoding is a fixed point: decoding
// it again reads exactly those bytes, without a diagnostic, and encodes to the same bytes.
//
// The first decoding itself need not round-trip: tag 5 reads as text and is written as tag 7, a
// map drops keys equivalent to earlier ones, a truncated message fills in zeros and nulls, and
// NaN never equals itself. Bytes are compared, not values, for the last reason.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"

namespace {

using flutter::ByteBufferStreamReader;
using flutter::EncodableValue;
using flutter::StandardCodecSerializer;
using halvex::fuzzing::DiagnosticCharacters;
using halvex::fuzzing::EncodeValue;
using halvex::fuzzing::Require;

void RequireReaderUnwound(ByteBufferStreamReader& reader) {
  Require(reader.nesting().depth == 0, "nesting depth returns to 0 after a value");
  Require(!reader.nesting().exceeded, "the nesting bound is reset once a value is read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DiagnosticCharacters();  // Silences std::cerr before the first diagnostic.
  const StandardCodecSerializer& serializer = StandardCodecSerializer::GetInstance();

  ByteBufferStreamReader reader(data, size);
  const EncodableValue first = serializer.ReadValue(&reader);
  RequireReaderUnwound(reader);
  Require(reader.RemainingBytes() <= size, "the reader never reports more bytes than it was given");

  const std::vector<uint8_t> encoded = EncodeValue(first);

  const size_t diagnostics_before = DiagnosticCharacters();
  ByteBufferStreamReader reread(encoded.data(), encoded.size());
  const EncodableValue second = serializer.ReadValue(&reread);
  RequireReaderUnwound(reread);
  Require(reread.RemainingBytes() == 0, "a re-encoded value is read to its last byte");
  Require(DiagnosticCharacters() == diagnostics_before,
          "a re-encoded value is read without a diagnostic");
  Require(second.index() == first.index(), "a re-encoded value keeps its alternative");
  Require(EncodeValue(second) == encoded, "encode(decode(encode(decode(x)))) == encode(decode(x))");

  // A value is read from the front of the message; bytes after it do not change it.
  std::vector<uint8_t> with_trailer = encoded;
  with_trailer.push_back(0x0F);
  ByteBufferStreamReader trailed(with_trailer.data(), with_trailer.size());
  Require(EncodeValue(serializer.ReadValue(&trailed)) == encoded,
          "trailing bytes after a complete value are ignored");
  Require(trailed.RemainingBytes() == 1, "reading stops at the end of the value");
  return 0;
}
