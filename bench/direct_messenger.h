// A messenger that hands each message straight to the channel's handler, as the engine's
// messenger does on the platform thread, and keeps the answer; plus the recorder channel's calls.
#ifndef HALVEX_BENCH_DIRECT_MESSENGER_H_
#define HALVEX_BENCH_DIRECT_MESSENGER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"

namespace halvex::bench {

class DirectMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string& channel,
            const uint8_t* message,
            size_t message_size,
            flutter::BinaryReply reply) const override;
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override;

  // Delivers `message` to the one registered handler; `answer` receives the reply's bytes.
  void Deliver(const std::vector<uint8_t>& message, std::vector<uint8_t>* answer);

 private:
  flutter::BinaryMessageHandler handler_;
};

// The encoded method call.
std::vector<uint8_t> EncodeCall(const std::string& method, flutter::EncodableValue arguments);

// The value of a success envelope; null for anything else.
flutter::EncodableValue DecodeSuccess(const std::vector<uint8_t>& answer);

// The "frames" entry of a recorder report, or -1.
int32_t FramesIn(const flutter::EncodableValue& report);

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_DIRECT_MESSENGER_H_
