// Decodes arbitrary bytes as a method call. A message is rejected exactly when its first value is
// not text; an accepted call always has arguments, and encoding it and decoding the encoding gives
// the same name and arguments (compared as bytes, since NaN never equals itself).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "messaging/byte_buffer_streams.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::StandardMethodCodec;
using halvex::fuzzing::DiagnosticCharacters;
using halvex::fuzzing::EncodeValue;
using halvex::fuzzing::Require;

bool FirstValueIsText(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  const EncodableValue first = StandardMethodCodec::GetInstance().serializer().ReadValue(&reader);
  return std::holds_alternative<std::string>(first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DiagnosticCharacters();  // Silences std::cerr before the first diagnostic.
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();

  const std::unique_ptr<MethodCall> call = codec.DecodeMethodCall(data, size);
  Require((call != nullptr) == FirstValueIsText(data, size),
          "a call is decoded exactly when the message starts with a text value");
  if (call == nullptr) {
    return 0;
  }
  Require(call->arguments() != nullptr, "a decoded call always has arguments");

  const std::unique_ptr<std::vector<uint8_t>> encoded = codec.EncodeMethodCall(*call);
  const size_t diagnostics_before = DiagnosticCharacters();
  const std::unique_ptr<MethodCall> again =
      codec.DecodeMethodCall(encoded->data(), encoded->size());
  Require(DiagnosticCharacters() == diagnostics_before,
          "a re-encoded call is decoded without a diagnostic");
  Require(again != nullptr, "a re-encoded call decodes");
  Require(again->method_name() == call->method_name(), "a re-encoded call keeps its name");
  Require(again->arguments() != nullptr, "a re-encoded call keeps its arguments");
  Require(EncodeValue(*again->arguments()) == EncodeValue(*call->arguments()),
          "a re-encoded call keeps its arguments' bytes");
  Require(*codec.EncodeMethodCall(*again) == *encoded, "a call's encoding is a fixed point");
  return 0;
}
