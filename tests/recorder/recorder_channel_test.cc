#include <cstdint>
#include <string>
#include <vector>

#include "engine_host/engine_library.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/standard_method_codec.h"
#include "recorder/application_id.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/support/encodable_value_printer.h"
#include "tests/support/fake_messenger.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using testing_support::Answer;
using testing_support::CallRecorder;
using testing_support::FrameReport;

EncodableValue Map(EncodableMap entries) {
  return EncodableValue(std::move(entries));
}

// The channel always drives the process's recorder; each test leaves it stopped.
class RecorderChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DesktopRecorder::Instance().Stop();
    mf::ResetMediaFoundation();
    mf::ResetImaging();
  }
  void TearDown() override {
    DesktopRecorder::Instance().Stop();
    EXPECT_EQ(mf::LiveObjects("IMFSinkWriter"), 0);
  }
  RecorderState State() { return DesktopRecorderTestPeer(DesktopRecorder::Instance()).State(); }

  mf::ScopedFaults faults_;
};

TEST_F(RecorderChannelTest, OnlyTheThreeExactNamesAreImplemented) {
  for (const char* method : {"Start", "START", "star", "stop ", "Stop", "appendPNG", "appendPn",
                             "appendPngs", "", "pause"}) {
    SCOPED_TRACE(method);
    const Answer answer = CallRecorder(method, Map({{"path", "a.mp4"}}));
    EXPECT_EQ(answer.kind, Answer::Kind::kNotImplemented);
    EXPECT_EQ(answer.answers, 1);
  }
  EXPECT_FALSE(State().recordingActive);
}

TEST_F(RecorderChannelTest, BadArgumentsGetTheirErrorWithoutDetails) {
  const std::vector<uint8_t> pathBytes = {'p', 'a', 't', 'h'};
  const struct {
    const char* name;
    const char* method;
    EncodableValue arguments;
    const char* message;
  } cases[] = {
      {"start without arguments", "start", EncodableValue(), "map required"},
      {"start with a list", "start", EncodableValue(EncodableList{"path", "a.mp4"}),
       "map required"},
      {"start with text", "start", EncodableValue("a.mp4"), "map required"},
      {"appendPng without arguments", "appendPng", EncodableValue(), "map required"},
      {"appendPng with bytes alone", "appendPng", EncodableValue(std::vector<uint8_t>{1, 2}),
       "map required"},
      {"no path", "start", Map({{"fps", 8.0}}), "path required"},
      {"integer path", "start", Map({{"path", 5}}), "path required"},
      {"empty path", "start", Map({{"path", ""}}), "path required"},
      {"path under another letter case", "start", Map({{"Path", "a.mp4"}}), "path required"},
      {"path under a byte-list key", "start", Map({{EncodableValue(pathBytes), "a.mp4"}}),
       "path required"},
      {"no bytes", "appendPng", Map({}), "bytes required"},
      {"32-bit integer list", "appendPng",
       Map({{"bytes", EncodableValue(std::vector<int32_t>{0x89, 'P', 'N', 'G'})}}),
       "bytes required"},
      {"empty byte list", "appendPng", Map({{"bytes", EncodableValue(std::vector<uint8_t>{})}}),
       "bytes required"},
      {"text bytes", "appendPng", Map({{"bytes", "\x89PNG...."}}), "bytes required"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Answer answer = CallRecorder(c.method, c.arguments);
    EXPECT_EQ(answer.answers, 1);
    EXPECT_EQ(answer.kind, Answer::Kind::kError);
    EXPECT_EQ(answer.code, "bad_args");
    EXPECT_EQ(answer.message, c.message);
    EXPECT_FALSE(answer.hasDetails);
  }
  EXPECT_FALSE(State().recordingActive);
}

TEST_F(RecorderChannelTest, StartArgumentsOfAnotherKindTakeTheirDefaults) {
  const struct {
    const char* name;
    EncodableMap extra;
    double fps;
    bool hasAudioTrack;
  } cases[] = {
      {"defaults", {}, 8.0, true},
      {"integer 60", {{"fps", 60}}, 30.0, true},
      {"64-bit integer", {{"fps", EncodableValue(int64_t{12})}}, 12.0, true},
      {"fraction", {{"fps", 12.5}}, 12.5, true},
      {"true", {{"fps", true}}, 1.0, true},
      {"false", {{"fps", false}}, 1.0, true},
      {"text", {{"fps", "24"}}, 8.0, true},
      {"audio off", {{"enableAudio", false}}, 8.0, false},
      {"audio as integer 0", {{"enableAudio", 0}}, 8.0, true},
      {"audio as text", {{"enableAudio", "false"}}, 8.0, true},
      {"unused ids of any kind",
       {{"videoTrackId", 5}, {"peerConnectionId", EncodableList{}}},
       8.0,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EncodableMap arguments = c.extra;
    arguments[EncodableValue("path")] = EncodableValue("clips/a.mp4");
    const Answer answer = CallRecorder("start", Map(arguments));
    ASSERT_EQ(answer.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(answer.answers, 1);
    EXPECT_EQ(answer.value, Map({{"hasAudioTrack", c.hasAudioTrack}}));
    const RecorderState state = State();
    EXPECT_EQ(state.fps, c.fps);
    EXPECT_EQ(state.audioEnabled, c.hasAudioTrack);
    EXPECT_EQ(state.outputPath, L"clips\\a.mp4");
  }
}

TEST_F(RecorderChannelTest, FramesAndStopReportCounts) {
  const std::vector<uint8_t> png = testing_support::ScriptedPng(7, 4, 2);
  auto append = [](std::vector<uint8_t> bytes) {
    return CallRecorder("appendPng", Map({{"bytes", EncodableValue(std::move(bytes))}}));
  };
  ASSERT_EQ(CallRecorder("start", Map({{"path", "a.mp4"}, {"enableAudio", false}})).kind,
            Answer::Kind::kSuccess);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t frames;
  } cases[] = {
      {"seven bytes", {0x89, 'P', 'N', 'G', 1, 2, 3}, 0},
      {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 1, 2}, 0},
      {"a frame", png, 1},
      {"another", png, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Answer answer = append(c.bytes);
    EXPECT_EQ(answer.kind, Answer::Kind::kSuccess);
    EXPECT_EQ(answer.value, FrameReport(c.frames, false));
  }
  // "stop" ignores whatever it is given, and repeats itself.
  EXPECT_EQ(CallRecorder("stop", EncodableValue(EncodableList{1, 2})).value, FrameReport(2, false));
  EXPECT_EQ(CallRecorder("stop", EncodableValue()).value, FrameReport(2, false));
  EXPECT_EQ(append(png).value, FrameReport(2, false));
  EXPECT_EQ(mf::SinkWriters().at(0).finalize_results.size(), 1u);
}

TEST_F(RecorderChannelTest, RegisteredChannelAnswersThroughTheMessenger) {
  mf::FakeMessenger fake;
  flutter::BinaryMessengerImpl messenger(fake.messenger());
  RegisterRecorderChannel(&messenger);
  RegisterRecorderChannel(&messenger);  // replacing the channel keeps one handler
  EXPECT_EQ(RecorderChannelName(), "com.halvex.camera/desktop_recorder");
  ASSERT_TRUE(fake.RegistrationFor(RecorderChannelName()).has_value());

  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  // Every call is taken at once and answered later, in order, from the recorder's thread.
  std::vector<const FlutterDesktopMessageResponseHandle*> handles;
  auto deliver = [&](const std::string& method, EncodableValue arguments) {
    flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    handles.push_back(fake.Deliver(RecorderChannelName(), *codec.EncodeMethodCall(call)));
    ASSERT_NE(handles.back(), nullptr);
  };
  auto decode = [&](const std::vector<uint8_t>& bytes) {
    Answer answer;
    testing_support::RecordingResult result(&answer);
    EXPECT_TRUE(codec.DecodeAndProcessResponseEnvelope(bytes.data(), bytes.size(), &result));
    return answer;
  };

  const std::vector<uint8_t> png = testing_support::ScriptedPng(8, 6, 4);
  deliver("start", Map({{"path", "e2e.mp4"}, {"fps", 30}}));
  deliver("appendPng", Map({{"bytes", EncodableValue(png)}}));
  deliver("start", Map({{"path", 1}}));
  deliver("pause", EncodableValue());
  deliver("stop", EncodableValue());
  FinishRecorderCalls();

  const std::vector<mf::FakeMessenger::Response> responses = fake.responses();
  ASSERT_EQ(responses.size(), 5u);
  for (size_t i = 0; i < responses.size(); ++i) {
    EXPECT_EQ(responses[i].handle, handles[i]) << "answer " << i << " out of order";
  }
  EXPECT_EQ(decode(responses[0].bytes).value, Map({{"hasAudioTrack", true}}));
  EXPECT_EQ(decode(responses[1].bytes).value, FrameReport(1, false));
  const Answer error = decode(responses[2].bytes);
  EXPECT_EQ(error.code, "bad_args");
  EXPECT_EQ(error.message, "path required");
  EXPECT_TRUE(responses[3].bytes.empty());
  EXPECT_EQ(decode(responses[4].bytes).value, FrameReport(1, false));
  EXPECT_EQ(fake.responses().size(), 5u);
  EXPECT_TRUE(fake.misuses().empty());
  messenger.SetMessageHandler(RecorderChannelName(), nullptr);
}

TEST_F(RecorderChannelTest, CallsQueuedWhenTheEngineGoesStillRunAndTheirAnswersAreDropped) {
  mf::FakeMessenger fake;
  {
    flutter::BinaryMessengerImpl messenger(fake.messenger());
    RegisterRecorderChannel(&messenger);
    const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
    auto deliver = [&](const std::string& method, EncodableValue arguments) {
      flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
      ASSERT_NE(fake.Deliver(RecorderChannelName(), *codec.EncodeMethodCall(call)), nullptr);
    };
    const std::vector<uint8_t> png = testing_support::ScriptedPng(9, 6, 4);
    {
      // Every call waits behind the busy recorder while the engine shuts down.
      std::unique_ptr<MutexLock> busy = DesktopRecorderTestPeer(DesktopRecorder::Instance()).Lock();
      deliver("start", Map({{"path", "gone.mp4"}, {"enableAudio", false}}));
      deliver("appendPng", Map({{"bytes", EncodableValue(png)}}));
      deliver("appendPng", Map({{"bytes", EncodableValue(png)}}));
      fake.SetAvailable(false);
    }
    FinishRecorderCalls();
    messenger.SetMessageHandler(RecorderChannelName(), nullptr);
  }
  EXPECT_TRUE(fake.responses().empty());
  EXPECT_TRUE(fake.misuses().empty());
  EXPECT_EQ(fake.outstanding_references(), 0);
  // The frames still reached the recording, which the host's end completes as before.
  EXPECT_EQ(DesktopRecorder::Instance().Stop().frames, 2);
  EXPECT_EQ(mf::SinkWriters().at(0).finalize_results.size(), 1u);
}

}  // namespace
}  // namespace halvex
