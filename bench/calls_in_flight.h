// Keeps several calls unanswered on a messenger, as an application that sends its next frame
// before the answer to the last one has come: each call waits for the oldest answer while the
// limit is out. Answers are taken in the order the calls were sent.
#ifndef HALVEX_BENCH_CALLS_IN_FLIGHT_H_
#define HALVEX_BENCH_CALLS_IN_FLIGHT_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "bench/direct_messenger.h"

namespace halvex::bench {

class CallsInFlight {
 public:
  // Sees every answer as it is taken; answers are not kept, so that a long recording holds
  // nothing per call.
  using AnswerObserver = std::function<void(const DirectMessenger::Reply&)>;

  // `limit` of at least one.
  CallsInFlight(DirectMessenger* messenger, size_t limit, AnswerObserver observer = nullptr);

  // Delivers `message` once fewer than `limit` calls are unanswered. Nothing when an answer it
  // waited for did not come: the benchmark has no result.
  std::optional<DirectMessenger::Delivery> Send(const std::vector<uint8_t>& message);

  // Takes every outstanding answer; false when one did not come.
  bool WaitForAll();

  // The last answer taken; empty before the first.
  const std::vector<uint8_t>& lastAnswer() const { return lastAnswer_; }
  // Answers taken that were not success envelopes.
  int64_t failedAnswers() const { return failedAnswers_; }
  // Calls that had to wait for an earlier answer before they could be sent.
  int64_t heldBack() const { return heldBack_; }

 private:
  // Takes the oldest answer once it came within `timeout`; false, leaving it, when it did not.
  bool TakeOldest(DirectMessenger::Clock::duration timeout);

  DirectMessenger* const messenger_;
  const size_t limit_;
  const AnswerObserver observer_;
  std::deque<DirectMessenger::Ticket> unanswered_;
  std::vector<uint8_t> lastAnswer_;
  int64_t failedAnswers_ = 0;
  int64_t heldBack_ = 0;
};

}  // namespace halvex::bench

#endif  // HALVEX_BENCH_CALLS_IN_FLIGHT_H_
