#ifndef HALVEX_MESSAGING_BINARY_MESSENGER_H_
#define HALVEX_MESSAGING_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Answers one message; `reply` may be nullptr when `reply_size` is 0.
using BinaryReply = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Receives the messages of one channel. `reply` may be kept and called later, from any thread.
using BinaryMessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)>;

// Byte messages on named channels between native code and the application.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends a message to the application; `reply`, when given, receives its answer.
  virtual void Send(const std::string& channel,
                    const uint8_t* message,
                    size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // Registers, replaces or (with an empty handler) removes the handler of `channel`.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_BINARY_MESSENGER_H_
