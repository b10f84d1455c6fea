// A messenger that hands each message straight to the channel's handler, as the engine's
// messenger does on the platform thread, and keeps each answer until it is taken. Answers may come
// after the handler has returned, from any thread; plus the recorder channel's calls.
#ifndef HALVEX_BENCH_DIRECT_MESSENGER_H_
#define HALVEX_BENCH_DIRECT_MESSENGER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "messaging/binary_messenger.h"
#include "messaging/encodable_value.h"

namespace halvex::bench {

class DirectMessenger : public flutter::BinaryMessenger {
 public:
  using Clock = std::chrono::steady_clock;
  using Ticket = uint64_t;

  // Long enough for any call of a benchmark, so that only a call that is never answered runs
  // into it.
  static constexpr Clock::duration kAnswerTimeout = std::chrono::seconds(120);

  // What delivering one message cost the delivering thread.
  struct Delivery {
    Ticket ticket = 0;
    Clock::time_point delivered;  // when Deliver began: an answer's time counts from here
    // From calling the handler until it returned: the platform thread's time, and its
    // processor time.
    Clock::duration handlerTime{};
    double handlerProcessorSeconds = 0;
    // What happened to the delivering thread in the handler: page faults it took, and how often
    // it gave up its core waiting (for a lock, say) or had it taken by another thread.
    int64_t handlerPageFaults = 0;
    int64_t handlerWaits = 0;
    int64_t handlerPreemptions = 0;
  };

  struct Reply {
    std::vector<uint8_t> bytes;  // none: not implemented, or no handler
    Clock::time_point delivered;
    Clock::time_point answered;
  };

  DirectMessenger();
  // Answers that come later are dropped.
  ~DirectMessenger() override;

  DirectMessenger(const DirectMessenger&) = delete;
  DirectMessenger& operator=(const DirectMessenger&) = delete;

  void Send(const std::string& channel,
            const uint8_t* message,
            size_t message_size,
            flutter::BinaryReply reply) const override;
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override;

  // Hands `message` to the registered handler and returns when the handler does, answered or
  // not. Without a handler the message is answered at once with no bytes, as the engine does.
  Delivery Deliver(const std::vector<uint8_t>& message);

  // The answer to a delivered message, taken out of the messenger once it came; nothing when it
  // did not come within `timeout` (it may still be waited for) or was taken already.
  std::optional<Reply> WaitForReply(Ticket ticket, Clock::duration timeout = kAnswerTimeout);

  // Delivers and waits for the answer, as a caller with one call in flight.
  std::optional<Reply> Call(const std::vector<uint8_t>& message);

  // Messages delivered whose answers have not come.
  size_t Unanswered() const;

 private:
  struct Answers;

  std::shared_ptr<Answers> answers_;
  flutter::BinaryMessageHandler handler_;
  Ticket nextTicket_ = 1;
};

// The encoded method call.
std::vector<uint8_t> EncodeCall(const std::string& method, flutter::EncodableValue arguments);

// The value of a success envelope; null for anything else.
flutter::EncodableValue DecodeSuccess(const std::vector<uint8_t>& answer);

// The "frames" entry of a recorder report, or -1.
int32_t FramesIn(const flutter::EncodableValue& report);

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_DIRECT_MESSENGER_H_
