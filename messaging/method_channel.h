#ifndef HALVEX_MESSAGING_METHOD_CHANNEL_H_
#define HALVEX_MESSAGING_METHOD_CHANNEL_H_

#include <functional>
#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"

namespace flutter {

// Receives the calls of a channel. The handler owns `result` and may answer after it returns,
// but `call` is valid only until it returns.
using MethodCallHandler =
    std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

// Binds a channel name on a messenger to a method-call handler.
class MethodChannel {
 public:
  // Neither `messenger` nor `codec` is owned; the messenger must outlive the registration.
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec* codec);
  // Leaves the handler registered: it owns copies of everything it uses.
  ~MethodChannel();

  MethodChannel(const MethodChannel&) = delete;
  MethodChannel& operator=(const MethodChannel&) = delete;

  // Registers, replaces or (with an empty handler) removes the channel's handler.
  void SetMethodCallHandler(MethodCallHandler handler) const;

  const std::string& name() const { return name_; }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_METHOD_CHANNEL_H_
