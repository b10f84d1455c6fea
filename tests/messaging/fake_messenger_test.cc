#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_messenger.h"

namespace halvex::testing {
namespace {

using Bytes = std::vector<uint8_t>;

// The fake's own checks: other tests rely on misuses() to catch a faulty messenger client.
TEST(FakeMessenger, NotesEveryMisuseOfTheEngineFunctions) {
  struct Captured {
    FlutterDesktopMessengerRef messenger = nullptr;
    const FlutterDesktopMessageResponseHandle* handle = nullptr;
  };
  const struct {
    const char* name;
    void (*misuse)(const Captured&);
    std::string noted;
  } cases[] = {
      {"response without the lock",
       [](const Captured& c) {
         FlutterDesktopMessengerSendResponse(c.messenger, c.handle, nullptr, 0);
       },
       "SendResponse without holding the messenger's lock"},
      {"handle used twice",
       [](const Captured& c) {
         FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(c.messenger);
         FlutterDesktopMessengerSendResponse(c.messenger, c.handle, nullptr, 0);
         FlutterDesktopMessengerSendResponse(c.messenger, c.handle, nullptr, 0);
         FlutterDesktopMessengerUnlock(locked);
       },
       "SendResponse with a handle that was already used"},
      {"unknown handle",
       [](const Captured& c) {
         FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(c.messenger);
         FlutterDesktopMessengerSendResponse(
             c.messenger, reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(&c), nullptr,
             0);
         FlutterDesktopMessengerUnlock(locked);
       },
       "SendResponse with a handle the engine never issued"},
      {"release without add-ref",
       [](const Captured& c) { FlutterDesktopMessengerRelease(c.messenger); },
       "Release without a matching AddRef"},
      {"unlock without lock", [](const Captured& c) { FlutterDesktopMessengerUnlock(c.messenger); },
       "Unlock by a thread that does not hold the lock"},
  };
  for (const auto& c : cases) {
    FakeMessenger fake;
    Captured captured;
    FlutterDesktopMessengerSetCallback(
        fake.messenger(), "ch",
        [](FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
           void* user_data) {
          auto* into = static_cast<Captured*>(user_data);
          into->messenger = messenger;
          into->handle = message->response_handle;
        },
        &captured);
    ASSERT_NE(fake.Deliver("ch", {1}), nullptr) << c.name;
    ASSERT_NE(captured.handle, nullptr) << c.name;
    c.misuse(captured);
    auto misuses = fake.misuses();
    ASSERT_FALSE(misuses.empty()) << c.name;
    EXPECT_EQ(misuses.back(), c.noted) << c.name;
  }
}

TEST(FakeMessenger, DeliveryRecordAndResponses) {
  FakeMessenger fake;
  struct Seen {
    size_t struct_size = 0;
    std::string channel;
    Bytes message;
  } seen;
  EXPECT_EQ(fake.DeliverAndGetResponse("ch", {1}), std::nullopt) << "no callback yet";
  FlutterDesktopMessengerSetCallback(
      fake.messenger(), "ch",
      [](FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
         void* user_data) {
        auto* into = static_cast<Seen*>(user_data);
        into->struct_size = message->struct_size;
        into->channel = message->channel;
        into->message.assign(message->message, message->message + message->message_size);
        if (message->message_size > 1) {
          FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(messenger);
          FlutterDesktopMessengerSendResponse(messenger, message->response_handle, message->message,
                                              1);
          FlutterDesktopMessengerUnlock(locked);
        }
      },
      &seen);
  EXPECT_EQ(fake.DeliverAndGetResponse("ch", {5}), std::nullopt) << "callback did not answer";
  EXPECT_EQ(fake.DeliverAndGetResponse("ch", {7, 8}), Bytes{7});
  EXPECT_EQ(seen.struct_size, sizeof(FlutterDesktopMessage));
  EXPECT_EQ(seen.channel, "ch");
  EXPECT_EQ(seen.message, (Bytes{7, 8}));
  EXPECT_TRUE(fake.misuses().empty());
}

}  // namespace
}  // namespace halvex::testing
