// Decodes arbitrary bytes as a response envelope into a result that records what it was told.
// The decoder answers the result at most once, exactly when it reports the envelope recognised,
// and never as not-implemented. An answered envelope, encoded again and decoded, gives the same
// answer, and its encoding is a fixed point.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "messaging/byte_buffer_streams.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"

namespace {

using flutter::EncodableValue;
using flutter::StandardMethodCodec;
using halvex::fuzzing::DiagnosticCharacters;
using halvex::fuzzing::EncodeValue;
using halvex::fuzzing::Require;

enum class Outcome { kNone, kSuccess, kError, kNotImplemented };

// Values are kept as their encoding, so two answers compare byte for byte.
class RecordingResult : public flutter::MethodResult {
 public:
  Outcome outcome = Outcome::kNone;
  int answers = 0;
  std::optional<std::vector<uint8_t>> value;  // the result or the error details, when given
  std::string code;
  std::string message;

  // The envelope that carries this answer.
  std::vector<uint8_t> Envelope() const {
    const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
    const std::optional<EncodableValue> decoded = DecodedValue();
    const EncodableValue* payload = decoded ? &*decoded : nullptr;
    if (outcome == Outcome::kSuccess) {
      return *codec.EncodeSuccessEnvelope(payload);
    }
    return *codec.EncodeErrorEnvelope(code, message, payload);
  }

 protected:
  void SuccessInternal(const EncodableValue* result) override { Record(Outcome::kSuccess, result); }
  void ErrorInternal(const std::string& error_code,
                     const std::string& error_message,
                     const EncodableValue* error_details) override {
    Record(Outcome::kError, error_details);
    code = error_code;
    message = error_message;
  }
  void NotImplementedInternal() override { Record(Outcome::kNotImplemented, nullptr); }

 private:
  void Record(Outcome what, const EncodableValue* given) {
    outcome = what;
    ++answers;
    if (given != nullptr) {
      value = EncodeValue(*given);
    }
  }

  std::optional<EncodableValue> DecodedValue() const {
    if (!value) {
      return std::nullopt;
    }
    flutter::ByteBufferStreamReader reader(value->data(), value->size());
    return StandardMethodCodec::GetInstance().serializer().ReadValue(&reader);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DiagnosticCharacters();  // Silences std::cerr before the first diagnostic.
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();

  Require(!codec.DecodeAndProcessResponseEnvelope(data, size, nullptr),
          "an envelope without a result to give it to is not processed");

  RecordingResult first;
  const bool recognised = codec.DecodeAndProcessResponseEnvelope(data, size, &first);
  Require(first.answers <= 1, "an envelope answers the result at most once");
  Require(recognised == (first.answers == 1),
          "an envelope is reported recognised exactly when it answered the result");
  Require(first.outcome != Outcome::kNotImplemented, "an envelope is never not-implemented");
  if (!recognised) {
    return 0;
  }
  Require(first.outcome != Outcome::kSuccess || size == 0 || data[0] == 0,
          "a success answer comes from a success envelope");
  Require(first.outcome != Outcome::kError || data[0] == 1,
          "an error answer comes from an error envelope");
  Require(!first.value || first.value->front() != 0,
          "a null result or null details is passed on as none");

  const std::vector<uint8_t> envelope = first.Envelope();
  const size_t diagnostics_before = DiagnosticCharacters();
  RecordingResult second;
  Require(codec.DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(), &second),
          "a re-encoded envelope is recognised");
  Require(DiagnosticCharacters() == diagnostics_before,
          "a re-encoded envelope is decoded without a diagnostic");
  Require(second.answers == 1 && second.outcome == first.outcome,
          "a re-encoded envelope gives the same kind of answer");
  Require(second.code == first.code && second.message == first.message,
          "a re-encoded error keeps its code and message");
  Require(second.value == first.value, "a re-encoded envelope keeps its value's bytes");
  Require(second.Envelope() == envelope, "an envelope's encoding is a fixed point");
  return 0;
}
