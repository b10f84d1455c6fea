#include "bench/calls_in_flight.h"

#include <algorithm>
#include <utility>

namespace halvex::bench {

CallsInFlight::CallsInFlight(DirectMessenger* messenger, size_t limit, AnswerObserver observer)
    : messenger_(messenger), limit_(std::max<size_t>(limit, 1)), observer_(std::move(observer)) {}

std::optional<DirectMessenger::Delivery> CallsInFlight::Send(const std::vector<uint8_t>& message) {
  if (unanswered_.size() >= limit_) {
    // Only an answer that has not come yet holds this call back.
    if (!TakeOldest(DirectMessenger::Clock::duration::zero())) {
      ++heldBack_;
      if (!TakeOldest(DirectMessenger::kAnswerTimeout)) {
        return std::nullopt;
      }
    }
  }
  const DirectMessenger::Delivery delivery = messenger_->Deliver(message);
  unanswered_.push_back(delivery.ticket);
  return delivery;
}

bool CallsInFlight::WaitForAll() {
  while (!unanswered_.empty()) {
    if (!TakeOldest(DirectMessenger::kAnswerTimeout)) {
      return false;
    }
  }
  return true;
}

bool CallsInFlight::TakeOldest(DirectMessenger::Clock::duration timeout) {
  std::optional<DirectMessenger::Reply> reply =
      messenger_->WaitForReply(unanswered_.front(), timeout);
  if (!reply) {
    return false;
  }
  unanswered_.pop_front();
  if (reply->bytes.empty() || reply->bytes[0] != 0) {
    ++failedAnswers_;
  }
  if (observer_) {
    observer_(*reply);
  }
  lastAnswer_ = std::move(reply->bytes);
  return true;
}

}  // namespace halvex::bench
