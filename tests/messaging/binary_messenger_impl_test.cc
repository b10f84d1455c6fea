#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/binary_messenger_impl.h"
#include "tests/support/cerr_capture.h"
#include "tests/support/fake_messenger.h"

namespace flutter {
namespace {

using halvex::testing::CerrCapture;
using halvex::testing::FakeMessenger;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

const char kDuplicateResponse[] =
    "Error: Response can be set only once. Ignoring duplicate response.";

class BinaryMessengerImplTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake_.misuses(), std::vector<std::string>{});
    EXPECT_EQ(fake_.lock_count(), fake_.unlock_count());
  }

  // A handler that keeps every reply it is given, for the test to call.
  BinaryMessageHandler KeepReplies() {
    return [this](const uint8_t* message, size_t size, BinaryReply reply) {
      received_.emplace_back(message, message + size);
      replies_.push_back(std::move(reply));
    };
  }

  FakeMessenger fake_;
  BinaryMessengerImpl messenger_{fake_.messenger()};
  std::vector<Bytes> received_;
  std::vector<BinaryReply> replies_;
};

TEST_F(BinaryMessengerImplTest, DeliversMessagesToTheHandlerOfTheirChannel) {
  messenger_.SetMessageHandler("a", KeepReplies());
  std::vector<std::string> b_messages;
  messenger_.SetMessageHandler(
      "b", [&b_messages](const uint8_t* message, size_t size, BinaryReply reply) {
        b_messages.emplace_back(message, message + size);
        reply(nullptr, 0);
      });

  ASSERT_NE(fake_.Deliver("a", {1, 2, 3}), nullptr);
  EXPECT_EQ(fake_.DeliverAndGetResponse("b", {'h', 'i'}), Bytes{});
  EXPECT_EQ(fake_.Deliver("c", {9}), nullptr);

  EXPECT_EQ(received_, (std::vector<Bytes>{{1, 2, 3}}));
  EXPECT_EQ(b_messages, std::vector<std::string>{"hi"});
  replies_.clear();
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(BinaryMessengerImplTest, RegistrationReplacementAndRemoval) {
  auto first_state = std::make_shared<int>(1);
  int first_calls = 0;
  int second_calls = 0;
  messenger_.SetMessageHandler(
      "ch", [first_state, &first_calls](const uint8_t*, size_t, BinaryReply reply) {
        ++first_calls;
        reply(nullptr, 0);
      });
  messenger_.SetMessageHandler("ch", [&second_calls](const uint8_t*, size_t, BinaryReply reply) {
    ++second_calls;
    reply(nullptr, 0);
  });
  EXPECT_EQ(first_state.use_count(), 1) << "the replaced handler was not destroyed";
  fake_.Deliver("ch", {});
  EXPECT_EQ(first_calls, 0);
  EXPECT_EQ(second_calls, 1);

  messenger_.SetMessageHandler("ch", nullptr);
  messenger_.SetMessageHandler("never-registered", nullptr);
  EXPECT_EQ(fake_.Deliver("ch", {}), nullptr);

  auto calls = fake_.set_callback_calls();
  ASSERT_EQ(calls.size(), 4u);
  const struct {
    std::string channel;
    bool has_callback;
  } expected[] = {{"ch", true}, {"ch", true}, {"ch", false}, {"never-registered", false}};
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].channel, expected[i].channel) << i;
    EXPECT_EQ(calls[i].callback != nullptr, expected[i].has_callback) << i;
    EXPECT_EQ(calls[i].user_data != nullptr, expected[i].has_callback) << i;
  }
  EXPECT_EQ(calls[0].user_data, calls[1].user_data) << "a replacement keeps the stored address";
}

TEST_F(BinaryMessengerImplTest, ReplyPassesBytesThroughOnceUnderTheLock) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  const auto* handle = fake_.Deliver("ch", {7});
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_EQ(fake_.outstanding_references(), 1) << "the reply holds the messenger";

  const uint8_t answer[] = {4, 5, 6};
  CerrCapture capture;
  replies_[0](answer, sizeof(answer));
  replies_[0](answer, 1);

  auto responses = fake_.responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0].handle, handle);
  EXPECT_EQ(responses[0].bytes, (Bytes{4, 5, 6}));
  EXPECT_TRUE(responses[0].lock_held);
  EXPECT_EQ(capture.lines(), Lines{kDuplicateResponse});
  EXPECT_EQ(fake_.lock_count(), 2);

  replies_.clear();
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(BinaryMessengerImplTest, EmptyReplyKeepsItsNullPointer) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  fake_.Deliver("ch", {});
  EXPECT_EQ(received_, std::vector<Bytes>{Bytes{}});
  replies_[0](nullptr, 0);
  auto responses = fake_.responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_TRUE(responses[0].data_was_null);
  EXPECT_TRUE(responses[0].bytes.empty());
}

TEST_F(BinaryMessengerImplTest, CopiesOfAReplyShareItsOneResponse) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  fake_.Deliver("ch", {});
  BinaryReply copy = replies_[0];
  CerrCapture capture;
  const uint8_t byte = 1;
  copy(&byte, 1);
  replies_[0](&byte, 1);
  EXPECT_EQ(fake_.responses().size(), 1u);
  EXPECT_EQ(capture.lines(), Lines{kDuplicateResponse});
}

TEST_F(BinaryMessengerImplTest, RepliesAfterTheEngineBecameUnavailableAreDroppedSilently) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  fake_.Deliver("ch", {});
  fake_.SetAvailable(false);
  CerrCapture capture;
  const uint8_t byte = 1;
  replies_[0](&byte, 1);
  replies_[0](&byte, 1);
  EXPECT_TRUE(fake_.responses().empty());
  EXPECT_EQ(capture.text(), "");
  EXPECT_EQ(fake_.lock_count(), 2);
  replies_.clear();
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

// A host that answers from a thread of its own may answer after the engine went away.
TEST_F(BinaryMessengerImplTest, RepliesFromOtherThreadsAfterTheEngineWentAreDroppedCleanly) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  constexpr int kMessages = 8;
  for (int i = 0; i < kMessages; ++i) {
    fake_.Deliver("ch", {static_cast<uint8_t>(i)});
  }
  fake_.SetAvailable(false);
  std::optional<CerrCapture> capture;
  capture.emplace();
  std::vector<std::thread> threads;
  for (BinaryReply& reply : replies_) {
    threads.emplace_back([reply = std::move(reply)] {
      const uint8_t byte = 7;
      reply(&byte, 1);
    });
  }
  replies_.clear();
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(capture->text(), "");
  capture.reset();
  EXPECT_TRUE(fake_.responses().empty());
  EXPECT_TRUE(fake_.misuses().empty());
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(BinaryMessengerImplTest, HandlerThatNeverRepliesSendsNothingAndLeaksNoReference) {
  messenger_.SetMessageHandler("ch", [](const uint8_t*, size_t, BinaryReply) {});
  EXPECT_EQ(fake_.DeliverAndGetResponse("ch", {1}), std::nullopt);
  EXPECT_EQ(fake_.add_ref_count(), 1);
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(BinaryMessengerImplTest, RepliesFromOtherThreads) {
  messenger_.SetMessageHandler("ch", KeepReplies());
  constexpr int kMessages = 16;
  std::vector<const FlutterDesktopMessageResponseHandle*> handles;
  for (int i = 0; i < kMessages; ++i) {
    handles.push_back(fake_.Deliver("ch", {static_cast<uint8_t>(i)}));
  }
  // Started before the threads and read after they are joined: the capture itself is not
  // thread-safe, the writes into it are serialised.
  std::optional<CerrCapture> capture;
  capture.emplace();
  std::vector<std::thread> threads;
  for (int i = 0; i < kMessages; ++i) {
    // Each reply is called twice, from two threads at once: exactly one response may come of it.
    for (int twice = 0; twice < 2; ++twice) {
      threads.emplace_back([reply = replies_[i], i] {
        const uint8_t byte = static_cast<uint8_t>(i * 2);
        reply(&byte, 1);
      });
    }
  }
  replies_.clear();
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(capture->lines(), Lines(kMessages, kDuplicateResponse));
  capture.reset();
  for (int i = 0; i < kMessages; ++i) {
    auto response = fake_.WaitForResponse(handles[i], std::chrono::seconds(5));
    ASSERT_TRUE(response) << i;
    EXPECT_EQ(response->bytes, Bytes{static_cast<uint8_t>(i * 2)});
    EXPECT_TRUE(response->lock_held);
  }
  EXPECT_EQ(fake_.responses().size(), static_cast<size_t>(kMessages));
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(BinaryMessengerImplTest, AHandlerMayRemoveItselfWhileRunning) {
  auto state = std::make_shared<std::string>("still here");
  std::string seen;
  messenger_.SetMessageHandler("ch",
                               [this, state, &seen](const uint8_t*, size_t, BinaryReply reply) {
                                 messenger_.SetMessageHandler("ch", nullptr);
                                 seen = *state;  // Captures must outlive the removal.
                                 reply(nullptr, 0);
                               });
  EXPECT_EQ(fake_.DeliverAndGetResponse("ch", {}), Bytes{});
  EXPECT_EQ(seen, "still here");
  EXPECT_EQ(state.use_count(), 1);
  EXPECT_FALSE(fake_.RegistrationFor("ch"));
}

TEST_F(BinaryMessengerImplTest, DestructionLeavesTheEngineCallbacksAlone) {
  {
    BinaryMessengerImpl short_lived(fake_.messenger());
    short_lived.SetMessageHandler("ch", [](const uint8_t*, size_t, BinaryReply) {});
  }
  EXPECT_EQ(fake_.set_callback_calls().size(), 1u);
  EXPECT_TRUE(fake_.RegistrationFor("ch"));
}

TEST_F(BinaryMessengerImplTest, SendWithoutAReply) {
  const uint8_t message[] = {1, 2};
  messenger_.Send("out", message, sizeof(message));
  auto sent = fake_.sent_messages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].channel, "out");
  EXPECT_EQ(sent[0].bytes, (Bytes{1, 2}));
  EXPECT_FALSE(sent[0].wants_reply);
}

TEST_F(BinaryMessengerImplTest, SendWithAReply) {
  const struct {
    const char* name;
    FakeMessenger::SendWithReplyMode mode;
    std::optional<Bytes> later_answer;  // Given with AnswerPendingReply in hold mode.
    int calls;
    Bytes answer;
  } cases[] = {
      {"failed send never calls the reply",
       FakeMessenger::SendWithReplyMode::kFail,
       std::nullopt,
       0,
       {}},
      {"immediate answer", FakeMessenger::SendWithReplyMode::kAnswer, std::nullopt, 1, {8, 9}},
      {"later answer", FakeMessenger::SendWithReplyMode::kHold, Bytes{3}, 1, {3}},
  };
  for (const auto& c : cases) {
    fake_.SetSendWithReplyMode(c.mode, {8, 9});
    int calls = 0;
    Bytes answer;
    auto keep_alive = std::make_shared<int>(0);
    const uint8_t message[] = {1};
    messenger_.Send("out", message, 1,
                    [&calls, &answer, keep_alive](const uint8_t* reply, size_t size) {
                      ++calls;
                      answer.assign(reply, reply + size);
                    });
    if (c.later_answer) {
      EXPECT_EQ(calls, 0) << c.name;
      EXPECT_TRUE(fake_.AnswerPendingReply(c.later_answer)) << c.name;
    }
    EXPECT_FALSE(fake_.AnswerPendingReply(std::nullopt)) << c.name;
    EXPECT_EQ(calls, c.calls) << c.name;
    EXPECT_EQ(answer, c.answer) << c.name;
    EXPECT_EQ(keep_alive.use_count(), 1) << c.name << ": the held reply was not destroyed";
    EXPECT_TRUE(fake_.sent_messages().back().wants_reply) << c.name;
  }
}

}  // namespace
}  // namespace flutter
