#ifndef HALVEX_MESSAGING_METHOD_CODEC_H_
#define HALVEX_MESSAGING_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace flutter {

// Turns method calls and their answers (envelopes) into bytes and back.
// Implementations repeat the default arguments below, which are bound by the static type.
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec();

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // nullptr when the message is not a method call.
  virtual std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message,
                                                       size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall& method_call) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code,
      const std::string& error_message = "",
      const EncodableValue* error_details = nullptr) const = 0;
  // Hands a success or error envelope to `result`; false, with `result` untouched, for anything
  // that is not a well-formed envelope.
  virtual bool DecodeAndProcessResponseEnvelope(const uint8_t* response,
                                                size_t response_size,
                                                MethodResult* result) const = 0;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_METHOD_CODEC_H_
