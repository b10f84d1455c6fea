#ifndef HALVEX_MESSAGING_BINARY_MESSENGER_IMPL_H_
#define HALVEX_MESSAGING_BINARY_MESSENGER_IMPL_H_

#include <map>
#include <memory>
#include <string>

#include "engine_host/engine_library.h"
#include "messaging/binary_messenger.h"

namespace flutter {

// The binary messenger over the engine's messenger. Handlers are registered and messages arrive
// on the platform thread; replies may be given from any thread.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // Does not take a reference to `core_messenger`; the engine outlives this object.
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger);
  // Leaves the engine's callbacks registered: the engine has ended by the time this runs.
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel,
            const uint8_t* message,
            size_t message_size,
            BinaryReply reply = nullptr) const override;
  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // The engine is given the address of a channel's slot, which stays put while the entry
  // exists. The slot shares the handler with each running call, so a handler that replaces or
  // removes itself is not destroyed while it runs.
  std::map<std::string, std::shared_ptr<BinaryMessageHandler>> handlers_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_BINARY_MESSENGER_IMPL_H_
