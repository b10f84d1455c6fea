#include "bench/direct_messenger.h"

#include <memory>
#include <utility>

#include "messaging/byte_buffer_streams.h"
#include "messaging/method_call.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace halvex::bench {

void DirectMessenger::Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const {
}

void DirectMessenger::SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) {
  handler_ = std::move(handler);
}

void DirectMessenger::Deliver(const std::vector<uint8_t>& message, std::vector<uint8_t>* answer) {
  handler_(message.data(), message.size(),
           [answer](const uint8_t* reply, size_t size) { answer->assign(reply, reply + size); });
}

std::vector<uint8_t> EncodeCall(const std::string& method, flutter::EncodableValue arguments) {
  const flutter::MethodCall call(method,
                                 std::make_unique<flutter::EncodableValue>(std::move(arguments)));
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
}

flutter::EncodableValue DecodeSuccess(const std::vector<uint8_t>& answer) {
  if (answer.empty() || answer[0] != 0) {
    return flutter::EncodableValue();
  }
  flutter::ByteBufferStreamReader reader(answer.data() + 1, answer.size() - 1);
  return flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

int32_t FramesIn(const flutter::EncodableValue& report) {
  const auto* map = std::get_if<flutter::EncodableMap>(&report);
  if (map == nullptr) {
    return -1;
  }
  const auto entry = map->find(flutter::EncodableValue("frames"));
  if (entry == map->end()) {
    return -1;
  }
  const auto* frames = std::get_if<int32_t>(&entry->second);
  return frames == nullptr ? -1 : *frames;
}

}  // namespace halvex::bench
