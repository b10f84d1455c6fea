// Every argument and error case of the recorder channel, as bytes through the messenger, in one
// session. The same test runs on Windows and on the stand-ins: none of these answers depends on
// whether the system can encode video, so both must give exactly the same bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "messaging/binary_messenger_impl.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "recorder/application_id.h"
#include "recorder/recorder_channel.h"
#include "tests/support/fake_messenger.h"
#include "tests/windows/png_fixtures.h"

namespace halvex {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

enum class Outcome { kSuccess, kError, kNotImplemented };

struct Step {
  const char* name;
  const char* method;
  std::optional<EncodableValue> arguments;  // nullopt: a call without arguments
  Outcome outcome;
  EncodableValue value;      // kSuccess
  const char* code = "";     // kError
  const char* message = "";  // kError
};

EncodableValue Map(EncodableMap entries) {
  return EncodableValue(std::move(entries));
}

EncodableValue Frames(int32_t frames, bool hasAudio) {
  return Map({{"frames", frames}, {"hasAudio", hasAudio}});
}

std::vector<uint8_t> Expected(const Step& step) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  switch (step.outcome) {
    case Outcome::kSuccess:
      return *codec.EncodeSuccessEnvelope(&step.value);
    case Outcome::kError:
      return *codec.EncodeErrorEnvelope(step.code, step.message, nullptr);
    case Outcome::kNotImplemented:
      break;
  }
  return {};
}

// The messenger outlives the channel, which stays registered until the process ends.
halvex::testing::FakeMessenger& Engine() {
  static halvex::testing::FakeMessenger* fake = new halvex::testing::FakeMessenger();
  static flutter::BinaryMessengerImpl* messenger = [] {
    auto* created = new flutter::BinaryMessengerImpl(fake->messenger());
    RegisterRecorderChannel(created);
    return created;
  }();
  (void)messenger;
  return *fake;
}

TEST(RecorderChannelAnswersTest, EveryArgumentAndErrorCaseAnswersTheSameBytes) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "halvex-recorder-channel-answers";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "session.mp4").u8string();

  const std::vector<uint8_t> valid = halvex::testing::GradientPng(64, 48, 7);
  std::vector<uint8_t> signatureThenJunk = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> oneByHundred = halvex::testing::GradientPng(1, 100, 3);
  const std::vector<uint8_t> sevenBytes(valid.begin(), valid.begin() + 7);
  const std::vector<uint8_t> notPng(valid.size(), 0x50);

  const std::vector<Step> session = {
      {"stop before any start", "stop", std::nullopt, Outcome::kSuccess, Frames(0, false)},
      {"frame before any start", "appendPng", Map({{"bytes", valid}}), Outcome::kSuccess,
       Frames(0, false)},
      {"start without arguments",
       "start",
       std::nullopt,
       Outcome::kError,
       {},
       "bad_args",
       "map required"},
      {"start with null",
       "start",
       EncodableValue(),
       Outcome::kError,
       {},
       "bad_args",
       "map required"},
      {"start with a list",
       "start",
       EncodableValue(EncodableList{EncodableValue(path)}),
       Outcome::kError,
       {},
       "bad_args",
       "map required"},
      {"start with an empty map",
       "start",
       Map({}),
       Outcome::kError,
       {},
       "bad_args",
       "path required"},
      {"path as an integer",
       "start",
       Map({{"path", 1}}),
       Outcome::kError,
       {},
       "bad_args",
       "path required"},
      {"path empty",
       "start",
       Map({{"path", ""}}),
       Outcome::kError,
       {},
       "bad_args",
       "path required"},
      {"path as bytes",
       "start",
       Map({{"path", std::vector<uint8_t>{'a', '.', 'm'}}}),
       Outcome::kError,
       {},
       "bad_args",
       "path required"},
      {"path under a key that is not text",
       "start",
       Map({{EncodableValue(std::vector<uint8_t>{'p', 'a', 't', 'h'}), path}}),
       Outcome::kError,
       {},
       "bad_args",
       "path required"},
      {"frame without arguments",
       "appendPng",
       std::nullopt,
       Outcome::kError,
       {},
       "bad_args",
       "map required"},
      {"frame with an integer",
       "appendPng",
       EncodableValue(5),
       Outcome::kError,
       {},
       "bad_args",
       "map required"},
      {"frame without bytes",
       "appendPng",
       Map({{"path", path}}),
       Outcome::kError,
       {},
       "bad_args",
       "bytes required"},
      {"bytes as 32-bit integers",
       "appendPng",
       Map({{"bytes", std::vector<int32_t>{0x89, 'P', 'N', 'G'}}}),
       Outcome::kError,
       {},
       "bad_args",
       "bytes required"},
      {"bytes empty",
       "appendPng",
       Map({{"bytes", std::vector<uint8_t>()}}),
       Outcome::kError,
       {},
       "bad_args",
       "bytes required"},
      {"bytes as text",
       "appendPng",
       Map({{"bytes", "PNG"}}),
       Outcome::kError,
       {},
       "bad_args",
       "bytes required"},
      {"Start", "Start", Map({{"path", path}}), Outcome::kNotImplemented, {}},
      {"START", "START", Map({{"path", path}}), Outcome::kNotImplemented, {}},
      {"appendPNG", "appendPNG", Map({{"bytes", valid}}), Outcome::kNotImplemented, {}},
      {"appendPn", "appendPn", Map({{"bytes", valid}}), Outcome::kNotImplemented, {}},
      {"stop with a space", "stop ", std::nullopt, Outcome::kNotImplemented, {}},
      {"empty name", "", std::nullopt, Outcome::kNotImplemented, {}},
      {"start", "start", Map({{"path", path}}), Outcome::kSuccess, Map({{"hasAudioTrack", true}})},
      {"start without audio", "start", Map({{"path", path}, {"enableAudio", false}}),
       Outcome::kSuccess, Map({{"hasAudioTrack", false}})},
      {"enableAudio as the integer 0", "start", Map({{"path", path}, {"enableAudio", 0}}),
       Outcome::kSuccess, Map({{"hasAudioTrack", true}})},
      {"other keys of other kinds", "start",
       Map({{"path", path},
            {"fps", "fast"},
            {"videoTrackId", 5},
            {"peerConnectionId", EncodableValue()},
            {"enableAudio", "no"}}),
       Outcome::kSuccess, Map({{"hasAudioTrack", true}})},
      {"fps as the integer 60", "start", Map({{"path", path}, {"fps", 60}, {"enableAudio", false}}),
       Outcome::kSuccess, Map({{"hasAudioTrack", false}})},
      {"seven bytes", "appendPng", Map({{"bytes", sevenBytes}}), Outcome::kSuccess,
       Frames(0, false)},
      {"not a PNG", "appendPng", Map({{"bytes", notPng}}), Outcome::kSuccess, Frames(0, false)},
      {"signature then junk", "appendPng", Map({{"bytes", signatureThenJunk}}), Outcome::kSuccess,
       Frames(0, false)},
      {"a 1 x 100 image", "appendPng", Map({{"bytes", oneByHundred}}), Outcome::kSuccess,
       Frames(0, false)},
      {"stop", "stop", std::nullopt, Outcome::kSuccess, Frames(0, false)},
      {"stop with arguments", "stop", Map({{"path", path}}), Outcome::kSuccess, Frames(0, false)},
  };

  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  for (const Step& step : session) {
    SCOPED_TRACE(step.name);
    const flutter::MethodCall call(
        step.method, step.arguments ? std::make_unique<EncodableValue>(*step.arguments) : nullptr);
    const FlutterDesktopMessageResponseHandle* handle =
        Engine().Deliver(RecorderChannelName(), *codec.EncodeMethodCall(call));
    FinishRecorderCalls();
    const auto reply = Engine().ResponseFor(handle);
    ASSERT_TRUE(reply.has_value()) << "no answer once the recorder's calls were done";
    EXPECT_EQ(reply->bytes, Expected(step));
  }
  // No frame was ever usable, so no recording left a file behind.
  EXPECT_FALSE(std::filesystem::exists(folder / "session.mp4"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace halvex
