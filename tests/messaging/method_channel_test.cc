#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/binary_messenger_impl.h"
#include "messaging/method_channel.h"
#include "messaging/standard_method_codec.h"
#include "tests/messaging/codec_test_helpers.h"
#include "tests/support/cerr_capture.h"
#include "tests/support/encodable_value_printer.h"
#include "tests/support/fake_messenger.h"

namespace flutter {
namespace {

using halvex::testing::CerrCapture;
using halvex::testing::FakeMessenger;
using test::Bytes;
using test::kInvalidRead;

using Lines = std::vector<std::string>;

const char kChannel[] = "com.example.test/channel";
const char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.";
const char kNoResponse[] = "Warning: Failed to respond to a message. This is a memory leak.";
const char kNotAString[] = "Invalid method call; method name is not a string.";
const std::string kUnableToConstruct =
    std::string("Unable to construct method call from message on channel ") + kChannel;

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

Bytes EncodeCall(const std::string& method, const EncodableValue& arguments) {
  return *Codec().EncodeMethodCall(MethodCall(method, std::make_unique<EncodableValue>(arguments)));
}

Bytes Success(const EncodableValue* value) {
  return *Codec().EncodeSuccessEnvelope(value);
}

class MethodChannelTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake_.misuses(), std::vector<std::string>{});
    EXPECT_EQ(fake_.lock_count(), fake_.unlock_count());
  }

  FakeMessenger fake_;
  BinaryMessengerImpl messenger_{fake_.messenger()};
  MethodChannel channel_{&messenger_, kChannel, &Codec()};
};

TEST_F(MethodChannelTest, EachWayOfAnsweringSendsAtMostOneReply) {
  const EncodableValue map(
      EncodableMap{{"hasAudio", EncodableValue(true)}, {"frames", EncodableValue(int32_t{3})}});
  const EncodableValue seven(int32_t{7});
  const struct {
    const char* name;
    std::function<void(MethodResult&)> answer;
    std::optional<Bytes> reply;  // nullopt: nothing sent.
    Lines lines;
  } cases[] = {
      {"success with a value", [&](MethodResult& r) { r.Success(map); }, Success(&map), {}},
      {"success without a value", [](MethodResult& r) { r.Success(); }, Bytes{0x00, 0x00}, {}},
      {"error",
       [](MethodResult& r) { r.Error("bad_args", "map required"); },
       *Codec().EncodeErrorEnvelope("bad_args", "map required"),
       {}},
      {"error with details",
       [&](MethodResult& r) { r.Error("start_failed", "", seven); },
       *Codec().EncodeErrorEnvelope("start_failed", "", &seven),
       {}},
      {"not implemented", [](MethodResult& r) { r.NotImplemented(); }, Bytes{}, {}},
      {"success twice keeps the first",
       [&](MethodResult& r) {
         r.Success(seven);
         r.Success(map);
       },
       Success(&seven),
       {kDuplicateResult}},
      {"success then not implemented",
       [](MethodResult& r) {
         r.Success();
         r.NotImplemented();
       },
       Bytes{0x00, 0x00},
       {kDuplicateResult}},
      {"error then success and error",
       [&](MethodResult& r) {
         r.Error("e");
         r.Success(seven);
         r.Error("f");
       },
       *Codec().EncodeErrorEnvelope("e"),
       {kDuplicateResult, kDuplicateResult}},
      {"no answer at all", [](MethodResult&) {}, std::nullopt, {kNoResponse}},
  };
  for (const auto& c : cases) {
    channel_.SetMethodCallHandler(
        [&c](const MethodCall&, std::unique_ptr<MethodResult> result) { c.answer(*result); });
    CerrCapture capture;
    const auto* handle = fake_.Deliver(kChannel, EncodeCall("m", EncodableValue()));
    ASSERT_NE(handle, nullptr) << c.name;
    auto response = fake_.ResponseFor(handle);
    ASSERT_EQ(response.has_value(), c.reply.has_value()) << c.name;
    if (response) {
      EXPECT_EQ(response->bytes, *c.reply) << c.name;
      EXPECT_EQ(response->data_was_null, c.reply->empty()) << c.name;
    }
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
  }
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(MethodChannelTest, HandlerReceivesTheDecodedCall) {
  std::string method;
  std::optional<EncodableValue> arguments;
  channel_.SetMethodCallHandler([&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    method = call.method_name();
    arguments = *call.arguments();
    result->Success();
  });
  const EncodableValue sent(EncodableMap{{"bytes", EncodableValue(Bytes{0x89, 'P'})}});
  EXPECT_EQ(fake_.DeliverAndGetResponse(kChannel, EncodeCall("appendPng", sent)),
            (Bytes{0x00, 0x00}));
  EXPECT_EQ(method, "appendPng");
  EXPECT_EQ(arguments, sent);
}

TEST_F(MethodChannelTest, UndecodableMessagesAreAnsweredWithAnEmptyReply) {
  const struct {
    const char* name;
    Bytes message;
    Lines lines;
  } cases[] = {
      {"first value not text", {0x03, 0x01, 0x00, 0x00, 0x00}, {kNotAString, kUnableToConstruct}},
      {"empty message", {}, {kInvalidRead, kNotAString, kUnableToConstruct}},
  };
  bool handler_called = false;
  channel_.SetMethodCallHandler([&](const MethodCall&, std::unique_ptr<MethodResult> result) {
    handler_called = true;
    result->Success();
  });
  for (const auto& c : cases) {
    CerrCapture capture;
    const auto* handle = fake_.Deliver(kChannel, c.message);
    auto response = fake_.ResponseFor(handle);
    ASSERT_TRUE(response) << c.name;
    EXPECT_TRUE(response->bytes.empty()) << c.name;
    EXPECT_TRUE(response->data_was_null) << c.name;
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
  }
  EXPECT_FALSE(handler_called);
}

TEST_F(MethodChannelTest, AResultKeptByTheHandlerAnswersLater) {
  std::vector<std::unique_ptr<MethodResult>> kept;
  channel_.SetMethodCallHandler([&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
    kept.push_back(std::move(result));
  });
  const auto* on_this_thread = fake_.Deliver(kChannel, EncodeCall("a", EncodableValue()));
  const auto* on_other_thread = fake_.Deliver(kChannel, EncodeCall("b", EncodableValue()));
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_TRUE(fake_.responses().empty());

  const EncodableValue seven(int32_t{7});
  kept[0]->Success(seven);
  std::thread answering([result = std::move(kept[1])]() mutable {
    result->Error("late");
    result.reset();
  });
  answering.join();

  auto first = fake_.ResponseFor(on_this_thread);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->bytes, Success(&seven));
  auto second = fake_.WaitForResponse(on_other_thread, std::chrono::seconds(5));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->bytes, *Codec().EncodeErrorEnvelope("late"));
  EXPECT_NE(second->thread, std::this_thread::get_id());
  kept.clear();
  EXPECT_EQ(fake_.outstanding_references(), 0);
}

TEST_F(MethodChannelTest, HandlersCanBeReplacedAndRemoved) {
  channel_.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult> result) {
    result->Success(EncodableValue(1));
  });
  channel_.SetMethodCallHandler([](const MethodCall&, std::unique_ptr<MethodResult> result) {
    result->Success(EncodableValue(2));
  });
  const EncodableValue two(2);
  EXPECT_EQ(fake_.DeliverAndGetResponse(kChannel, EncodeCall("m", EncodableValue())),
            Success(&two));

  channel_.SetMethodCallHandler(nullptr);
  EXPECT_FALSE(fake_.RegistrationFor(kChannel));
  EXPECT_EQ(fake_.Deliver(kChannel, EncodeCall("m", EncodableValue())), nullptr);
}

TEST_F(MethodChannelTest, TheHandlerOutlivesItsChannelObject) {
  {
    MethodChannel temporary(&messenger_, "short/lived", &Codec());
    temporary.SetMethodCallHandler([](const MethodCall& call, std::unique_ptr<MethodResult> r) {
      r->Success(EncodableValue(call.method_name()));
    });
  }
  const EncodableValue name("ping");
  EXPECT_EQ(fake_.DeliverAndGetResponse("short/lived", EncodeCall("ping", EncodableValue())),
            Success(&name));
}

TEST_F(MethodChannelTest, AnswersAfterTheEngineEndedAreDroppedWithoutComplaint) {
  std::unique_ptr<MethodResult> kept;
  channel_.SetMethodCallHandler([&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
    kept = std::move(result);
  });
  fake_.Deliver(kChannel, EncodeCall("m", EncodableValue()));
  fake_.SetAvailable(false);
  CerrCapture capture;
  kept->Success();
  kept.reset();
  EXPECT_TRUE(fake_.responses().empty());
  EXPECT_EQ(capture.text(), "");
}

}  // namespace
}  // namespace flutter
