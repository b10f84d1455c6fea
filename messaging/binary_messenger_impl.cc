#include "messaging/binary_messenger_impl.h"

#include <utility>

#include "messaging/diagnostic.h"

namespace flutter {
namespace {

// The one response an incoming message may get. Every copy of the message's reply closure
// shares it, so the engine's handle is passed at most once however the closure is copied; the
// handle is read and cleared only under the messenger's lock.
class PendingResponse {
 public:
  static void ReleaseMessenger(FlutterDesktopMessengerRef messenger) {
    if (messenger != nullptr) {
      FlutterDesktopMessengerRelease(messenger);
    }
  }

  PendingResponse(FlutterDesktopMessengerRef messenger,
                  const FlutterDesktopMessageResponseHandle* handle)
      : messenger_(FlutterDesktopMessengerAddRef(messenger), ReleaseMessenger), handle_(handle) {}

  PendingResponse(const PendingResponse&) = delete;
  PendingResponse& operator=(const PendingResponse&) = delete;

  void Send(const uint8_t* reply, size_t reply_size) {
    FlutterDesktopMessengerRef messenger = messenger_.get();
    FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
    // An engine that has shut down takes no responses; there is nobody left to tell.
    if (FlutterDesktopMessengerIsAvailable(messenger)) {
      if (handle_ == nullptr) {
        halvex::PrintDiagnosticLine(
            "Error: Response can be set only once. Ignoring duplicate response.");
      } else {
        FlutterDesktopMessengerSendResponse(messenger, handle_, reply, reply_size);
        handle_ = nullptr;
      }
    }
    if (locked != nullptr) {
      FlutterDesktopMessengerUnlock(locked);
    }
  }

 private:
  // Keeps the messenger handle valid for as long as a reply may still come.
  std::shared_ptr<FlutterDesktopMessenger> messenger_;
  const FlutterDesktopMessageResponseHandle* handle_;
};

void ForwardMessageToHandler(FlutterDesktopMessengerRef messenger,
                             const FlutterDesktopMessage* message,
                             void* user_data) {
  auto response = std::make_shared<PendingResponse>(messenger, message->response_handle);
  BinaryReply reply = [response](const uint8_t* reply_bytes, size_t reply_size) {
    response->Send(reply_bytes, reply_size);
  };
  std::shared_ptr<BinaryMessageHandler> handler =
      *static_cast<std::shared_ptr<BinaryMessageHandler>*>(user_data);
  (*handler)(message->message, message->message_size, std::move(reply));
}

void ForwardReplyToSender(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<BinaryReply> reply(static_cast<BinaryReply*>(user_data));
  (*reply)(data, data_size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger)
    : messenger_(core_messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel,
                               const uint8_t* message,
                               size_t message_size,
                               BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  // Released before the call: the engine may answer, and free it, before the call returns.
  BinaryReply* held_reply = new BinaryReply(std::move(reply));
  bool sent = FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message,
                                                   message_size, ForwardReplyToSender, held_reply);
  if (!sent) {
    delete held_reply;  // The engine will never call back.
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  std::shared_ptr<BinaryMessageHandler>& slot = handlers_[channel];
  slot = std::make_shared<BinaryMessageHandler>(std::move(handler));
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), ForwardMessageToHandler, &slot);
}

}  // namespace flutter
