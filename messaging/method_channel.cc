#include "messaging/method_channel.h"

#include <utility>

#include "messaging/diagnostic.h"
#include "messaging/engine_method_result.h"

namespace flutter {

MethodChannel::MethodChannel(BinaryMessenger* messenger,
                             const std::string& name,
                             const MethodCodec* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

MethodChannel::~MethodChannel() = default;

void MethodChannel::SetMethodCallHandler(MethodCallHandler handler) const {
  if (!handler) {
    messenger_->SetMessageHandler(name_, nullptr);
    return;
  }
  const MethodCodec* codec = codec_;
  std::string channel_name = name_;
  BinaryMessageHandler binary_handler = [handler = std::move(handler), codec, channel_name](
                                            const uint8_t* message, size_t message_size,
                                            BinaryReply reply) {
    // Made first, so that every path below answers through it.
    std::unique_ptr<MethodResult> result =
        std::make_unique<EngineMethodResult>(std::move(reply), codec);
    std::unique_ptr<MethodCall> call = codec->DecodeMethodCall(message, message_size);
    if (!call) {
      halvex::PrintDiagnosticLine("Unable to construct method call from message on channel " +
                                  channel_name);
      result->NotImplemented();
      return;
    }
    handler(*call, std::move(result));
  };
  messenger_->SetMessageHandler(name_, std::move(binary_handler));
}

}  // namespace flutter
