#include "messaging/engine_method_result.h"

#include <utility>
#include <vector>

namespace flutter {

EngineMethodResult::EngineMethodResult(BinaryReply reply, const MethodCodec* codec)
    : reply_(std::make_unique<OneShotReply>(std::move(reply))), codec_(codec) {}

EngineMethodResult::~EngineMethodResult() = default;

void EngineMethodResult::SuccessInternal(const EncodableValue* result) {
  std::unique_ptr<std::vector<uint8_t>> envelope = codec_->EncodeSuccessEnvelope(result);
  reply_->Respond(envelope.get());
}

void EngineMethodResult::ErrorInternal(const std::string& error_code,
                                       const std::string& error_message,
                                       const EncodableValue* error_details) {
  std::unique_ptr<std::vector<uint8_t>> envelope =
      codec_->EncodeErrorEnvelope(error_code, error_message, error_details);
  reply_->Respond(envelope.get());
}

void EngineMethodResult::NotImplementedInternal() {
  reply_->Respond(nullptr);
}

}  // namespace flutter
