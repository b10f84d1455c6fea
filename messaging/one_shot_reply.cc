#include "messaging/one_shot_reply.h"

#include <utility>

#include "messaging/diagnostic.h"

namespace flutter {

OneShotReply::OneShotReply(BinaryReply reply) : reply_(std::move(reply)) {}

OneShotReply::~OneShotReply() {
  if (reply_) {
    halvex::PrintDiagnosticLine("Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void OneShotReply::Respond(const std::vector<uint8_t>* reply) {
  if (!reply_) {
    halvex::PrintDiagnosticLine(
        "Error: Only one of Success, Error, or NotImplemented can be called,"
        " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  const uint8_t* data = reply != nullptr && !reply->empty() ? reply->data() : nullptr;
  size_t size = reply != nullptr ? reply->size() : 0;
  // Emptied before the call, so an answer given from inside the reply is a duplicate too.
  BinaryReply send = std::move(reply_);
  reply_ = nullptr;
  send(data, size);
}

}  // namespace flutter
