// The messenger the benchmarks drive the recorder's channel through, with answers that come
// during the handler, after it from another thread, twice, or never.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/calls_in_flight.h"
#include "bench/direct_messenger.h"

namespace halvex::bench {
namespace {

using namespace std::chrono_literals;

// Answers each message with its own bytes: at once, twice, never, or later from a thread of its
// own, in the order the messages came.
class EchoChannel {
 public:
  enum class Mode { kDuringHandler, kTwice, kNever, kLaterFromThread };

  EchoChannel(DirectMessenger* messenger, Mode mode) : mode_(mode) {
    messenger->SetMessageHandler(
        "echo", [this](const uint8_t* message, size_t size, flutter::BinaryReply reply) {
          std::lock_guard<std::mutex> lock(mutex_);
          ++unanswered_;
          maxUnanswered_ = std::max(maxUnanswered_, unanswered_);
          std::vector<uint8_t> bytes(message, message + size);
          if (mode_ == Mode::kLaterFromThread) {
            waiting_.push_back([this, bytes, reply] { Answer(reply, bytes); });
            changed_.notify_all();
            return;
          }
          if (mode_ != Mode::kNever) {
            --unanswered_;
            reply(bytes.data(), bytes.size());
            if (mode_ == Mode::kTwice) {
              reply(nullptr, 0);
            }
          }
        });
    if (mode_ == Mode::kLaterFromThread) {
      thread_ = std::thread([this] { AnswerInOrder(); });
    }
  }

  ~EchoChannel() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
      thread_.join();
    }
  }

  int maxUnanswered() {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxUnanswered_;
  }

 private:
  void Answer(const flutter::BinaryReply& reply, const std::vector<uint8_t>& bytes) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --unanswered_;
    }
    reply(bytes.data(), bytes.size());
  }

  void AnswerInOrder() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
      if (waiting_.empty()) {
        return;
      }
      std::function<void()> answer = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      std::this_thread::sleep_for(2ms);  // the handler has long returned
      answer();
      lock.lock();
    }
  }

  const Mode mode_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> waiting_;
  int unanswered_ = 0;
  int maxUnanswered_ = 0;
  bool ending_ = false;
  std::thread thread_;
};

struct AnswerCase {
  const char* name;
  EchoChannel::Mode mode;
  bool answered;
};

class DirectMessengerAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(DirectMessengerAnswerTest, TakesTheFirstAnswerWheneverItComes) {
  DirectMessenger messenger;
  EchoChannel channel(&messenger, GetParam().mode);
  const std::vector<uint8_t> message = {0, 1, 2, 3};
  const DirectMessenger::Delivery delivery = messenger.Deliver(message);
  // A call never answered is given up on sooner.
  const auto reply = messenger.WaitForReply(delivery.ticket, GetParam().answered ? 10s : 100ms);
  ASSERT_EQ(reply.has_value(), GetParam().answered);
  EXPECT_EQ(messenger.Unanswered(), GetParam().answered ? 0u : 1u);
  if (reply) {
    EXPECT_EQ(reply->bytes, message);
    EXPECT_GE(reply->answered, reply->delivered);
    // Taken once only.
    EXPECT_FALSE(messenger.WaitForReply(delivery.ticket, 0s).has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    DirectMessengerAnswerTest,
    ::testing::Values(AnswerCase{"DuringHandler", EchoChannel::Mode::kDuringHandler, true},
                      AnswerCase{"Twice", EchoChannel::Mode::kTwice, true},
                      AnswerCase{"Never", EchoChannel::Mode::kNever, false},
                      AnswerCase{"LaterFromThread", EchoChannel::Mode::kLaterFromThread, true}),
    [](const ::testing::TestParamInfo<AnswerCase>& param) {
      return std::string(param.param.name);
    });

TEST(DirectMessengerTest, WithoutHandlerAnswersWithNoBytes) {
  DirectMessenger messenger;
  const auto reply = messenger.Call({0, 1});
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(reply->bytes.empty());
}

TEST(DirectMessengerTest, AnswerAfterTheMessengerHasGoneIsDropped) {
  flutter::BinaryReply kept;
  {
    DirectMessenger messenger;
    messenger.SetMessageHandler(
        "late",
        [&kept](const uint8_t*, size_t, flutter::BinaryReply reply) { kept = std::move(reply); });
    messenger.Deliver({1});
  }
  const uint8_t answer = 7;
  kept(&answer, 1);  // must not touch the messenger
}

class CallsInFlightTest : public ::testing::TestWithParam<size_t> {};

TEST_P(CallsInFlightTest, NeverMoreUnansweredThanTheLimitAndAnswersInOrder) {
  DirectMessenger messenger;
  EchoChannel channel(&messenger, EchoChannel::Mode::kLaterFromThread);
  std::vector<uint8_t> seen;
  CallsInFlight calls(&messenger, GetParam(), [&seen](const DirectMessenger::Reply& reply) {
    seen.push_back(reply.bytes.at(1));
  });
  std::vector<uint8_t> sent;
  for (uint8_t call = 0; call < 12; ++call) {
    ASSERT_TRUE(calls.Send({0, call}).has_value());
    sent.push_back(call);
  }
  ASSERT_TRUE(calls.WaitForAll());
  EXPECT_EQ(seen, sent);
  EXPECT_EQ(channel.maxUnanswered(), static_cast<int>(GetParam()));
  EXPECT_EQ(calls.lastAnswer(), (std::vector<uint8_t>{0, 11}));
  EXPECT_EQ(calls.failedAnswers(), 0);
  EXPECT_EQ(messenger.Unanswered(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Limits,
                         CallsInFlightTest,
                         ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<size_t>& param) {
                           return std::to_string(param.param) + "InFlight";
                         });

}  // namespace
}  // namespace halvex::bench
