#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"

namespace halvex::fuzzing {
namespace {

class CountingStreamBuffer : public std::streambuf {
 public:
  size_t characters() const { return characters_; }

 protected:
  int_type overflow(int_type character) override {
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
      ++characters_;
    }
    return traits_type::not_eof(character);
  }

  std::streamsize xsputn(const char_type* /*text*/, std::streamsize count) override {
    characters_ += static_cast<size_t>(count);
    return count;
  }

 private:
  size_t characters_ = 0;
};

}  // namespace

size_t DiagnosticCharacters() {
  // Never destroyed: std::cerr may still be written to while statics are torn down.
  static CountingStreamBuffer* const sink = [] {
    auto* buffer = new CountingStreamBuffer();
    std::cerr.rdbuf(buffer);
    return buffer;
  }();
  return sink->characters();
}

void Require(bool holds, const char* property) {
  if (holds) {
    return;
  }
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::fflush(stderr);
  std::abort();
}

std::vector<uint8_t> EncodeValue(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

}  // namespace halvex::fuzzing
