#ifndef HALVEX_MESSAGING_STANDARD_METHOD_CODEC_H_
#define HALVEX_MESSAGING_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "messaging/method_codec.h"
#include "messaging/standard_codec_serializer.h"

namespace flutter {

// Method calls and envelopes laid out with a StandardCodecSerializer:
//   call:    method name (text), arguments (one value, null when absent)
//   success: byte 0, result (null when absent)
//   error:   byte 1, code (text), message (text, null when empty), details (null when absent)
class StandardMethodCodec : public MethodCodec {
 public:
  // The codec of `serializer` (the shared serializer when nullptr). There is one codec per
  // serializer and it lives until the program ends, so callers may keep the reference.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override;

  std::unique_ptr<MethodCall> DecodeMethodCall(const uint8_t* message,
                                               size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(
      const MethodCall& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(
      const EncodableValue* result = nullptr) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(
      const std::string& error_code,
      const std::string& error_message = "",
      const EncodableValue* error_details = nullptr) const override;
  bool DecodeAndProcessResponseEnvelope(const uint8_t* response,
                                        size_t response_size,
                                        MethodResult* result) const override;

  const StandardCodecSerializer& serializer() const { return *serializer_; }

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_STANDARD_METHOD_CODEC_H_
