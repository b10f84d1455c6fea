#include "app/recorder_client.h"

#include <gtest/gtest.h>

#include <cstddef>

#include "recorder/application_id.h"
#include "tests/end_to_end/fake_recorder_engine.h"

namespace halvex {
namespace demo {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using testing::FakeRecorderEngine;
using testing::ScriptedAnswer;

const EncodableValue* Argument(const EncodableValue& arguments, const char* key) {
  const EncodableMap* map = std::get_if<EncodableMap>(&arguments);
  return map == nullptr ? nullptr : flutter::LookupTextKey(*map, key);
}

TEST(RecorderClientTest, ChannelIsTheOneTheHostRegisters) {
  EXPECT_EQ(std::string(kRecorderChannel), RecorderChannelName());
}

TEST(RecorderClientTest, CallsCarryTheDocumentedArguments) {
  FakeRecorderEngine fake;
  EngineServices engine(*fake.services());
  RecorderClient recorder(&engine);
  std::string failure;

  StartReply started;
  ASSERT_TRUE(recorder.Start("out/clip.mp4", 12.5, false, &started, &failure)) << failure;
  EXPECT_FALSE(started.has_audio_track);
  FramesReply appended;
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3};
  ASSERT_TRUE(recorder.AppendPng(png, &appended, &failure)) << failure;
  EXPECT_EQ(appended.frames, 1);
  FramesReply stopped;
  ASSERT_TRUE(recorder.Stop(&stopped, &failure)) << failure;
  EXPECT_EQ(stopped.frames, 1);
  EXPECT_FALSE(stopped.has_audio);

  ASSERT_EQ(fake.calls().size(), 3u);
  for (const testing::RecordedCall& call : fake.calls()) {
    EXPECT_EQ(call.channel, "com.halvex.camera/desktop_recorder");
  }
  EXPECT_EQ(fake.Methods(), (std::vector<std::string>{"start", "appendPng", "stop"}));
  const EncodableValue& start = fake.calls()[0].arguments;
  ASSERT_NE(Argument(start, "path"), nullptr);
  EXPECT_EQ(*Argument(start, "path"), EncodableValue("out/clip.mp4"));
  // The rate travels as a double and the audio choice as a boolean: the recorder reads other
  // alternatives as their defaults.
  ASSERT_NE(Argument(start, "fps"), nullptr);
  EXPECT_EQ(*Argument(start, "fps"), EncodableValue(12.5));
  ASSERT_NE(Argument(start, "enableAudio"), nullptr);
  EXPECT_EQ(*Argument(start, "enableAudio"), EncodableValue(false));
  ASSERT_NE(Argument(fake.calls()[1].arguments, "bytes"), nullptr);
  EXPECT_EQ(*Argument(fake.calls()[1].arguments, "bytes"), EncodableValue(png));
  EXPECT_TRUE(fake.calls()[2].arguments.IsNull());
}

ScriptedAnswer ErrorAnswer(const std::string& code, const std::string& message) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::kErrorEnvelope;
  answer.error_code = code;
  answer.error_message = message;
  return answer;
}

ScriptedAnswer KindAnswer(ScriptedAnswer::Kind kind) {
  ScriptedAnswer answer;
  answer.kind = kind;
  return answer;
}

ScriptedAnswer RawAnswer(std::vector<uint8_t> bytes) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::kRawBytes;
  answer.raw_bytes = std::move(bytes);
  return answer;
}

ScriptedAnswer SuccessAnswer(EncodableValue value) {
  ScriptedAnswer answer;
  answer.kind = ScriptedAnswer::Kind::kSuccessValue;
  answer.success_value = std::move(value);
  return answer;
}

TEST(RecorderClientTest, EveryAnswerButTheDocumentedSuccessIsAFailure) {
  struct Case {
    const char* method;
    ScriptedAnswer answer;
    std::string failure;
    bool engine_gone;
  };
  const Case cases[] = {
      {"start", ErrorAnswer("start_failed", "Could not start desktop recorder"),
       "\"start\" was answered with the error start_failed: Could not start desktop recorder",
       false},
      {"appendPng", ErrorAnswer("bad_args", "bytes required"),
       "\"appendPng\" was answered with the error bad_args: bytes required", false},
      {"stop", ErrorAnswer("odd", ""), "\"stop\" was answered with the error odd", false},
      {"start", KindAnswer(ScriptedAnswer::Kind::kEmptyReply),
       "\"start\" got an empty answer: nothing on com.halvex.camera/desktop_recorder implements "
       "it",
       false},
      {"appendPng", KindAnswer(ScriptedAnswer::Kind::kNoAnswer),
       "\"appendPng\" got no answer: the engine is shutting down", true},
      {"stop", RawAnswer({0x07, 0x00}),
       "\"stop\" got an answer that is not a reply envelope (2 bytes)", false},
      // An error envelope whose code is not text.
      {"start", RawAnswer({0x01, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}),
       "\"start\" got an answer that is not a reply envelope (8 bytes)", false},
      {"start", SuccessAnswer(EncodableValue()),
       "\"start\" succeeded without the boolean \"hasAudioTrack\" in its result", false},
      {"start",
       SuccessAnswer(
           EncodableValue(EncodableMap{{EncodableValue("hasAudioTrack"), EncodableValue(1)}})),
       "\"start\" succeeded without the boolean \"hasAudioTrack\" in its result", false},
      {"appendPng",
       SuccessAnswer(EncodableValue(EncodableMap{{EncodableValue("frames"), EncodableValue(3)}})),
       "\"appendPng\" succeeded without the integer \"frames\" and the boolean \"hasAudio\" in its "
       "result",
       false},
      {"stop",
       SuccessAnswer(
           EncodableValue(EncodableMap{{EncodableValue("frames"), EncodableValue(int64_t{1} << 40)},
                                       {EncodableValue("hasAudio"), EncodableValue(true)}})),
       "\"stop\" succeeded without the integer \"frames\" and the boolean \"hasAudio\" in its "
       "result",
       false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.failure);
    FakeRecorderEngine fake;
    fake.Script(test.method, 1, test.answer);
    EngineServices engine(*fake.services());
    RecorderClient recorder(&engine);
    std::string failure;
    bool succeeded = false;
    StartReply started;
    FramesReply frames;
    if (std::string(test.method) == "start") {
      succeeded = recorder.Start("clip.mp4", 30, true, &started, &failure);
    } else if (std::string(test.method) == "appendPng") {
      succeeded = recorder.AppendPng({1, 2, 3}, &frames, &failure);
    } else {
      succeeded = recorder.Stop(&frames, &failure);
    }
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(failure, test.failure);
    EXPECT_EQ(recorder.engine_gone(), test.engine_gone);
  }
}

TEST(RecorderClientTest, SixtyFourBitFrameCountsThatFitAreAccepted) {
  FakeRecorderEngine fake;
  fake.Script("stop", 1,
              SuccessAnswer(EncodableValue(
                  EncodableMap{{EncodableValue("frames"), EncodableValue(int64_t{42})},
                               {EncodableValue("hasAudio"), EncodableValue(true)}})));
  EngineServices engine(*fake.services());
  RecorderClient recorder(&engine);
  FramesReply stopped;
  std::string failure;
  ASSERT_TRUE(recorder.Stop(&stopped, &failure)) << failure;
  EXPECT_EQ(stopped.frames, 42);
  EXPECT_TRUE(stopped.has_audio);
}

std::vector<uint8_t> PngLike(uint8_t tag) {
  return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', tag};
}

TEST(RecorderClientTest, AppendsInFlightAreAnsweredOldestFirst) {
  struct Case {
    const char* name;
    FakeRecorderEngine::Answering answering;
    bool post_appends;
    std::vector<int> in_flight;  // as each call was made
  };
  const Case cases[] = {
      {"posted, answered at once", FakeRecorderEngine::Answering::kAtOnce, true, {1, 2, 3}},
      {"posted, answered later",
       FakeRecorderEngine::Answering::kLaterOnAnotherThread,
       true,
       {1, 2, 3}},
      {"sent one at a time",
       FakeRecorderEngine::Answering::kLaterOnAnotherThread,
       false,
       {1, 1, 1}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    FakeRecorderEngine fake(test.answering);
    EngineServices engine(*fake.services());
    RecorderClient recorder(&engine, test.post_appends);
    EXPECT_EQ(recorder.posts_appends(), test.post_appends);
    StartReply started;
    std::string failure;
    ASSERT_TRUE(recorder.Start("clip.mp4", 10, false, &started, &failure)) << failure;
    for (uint8_t tag = 0; tag < 3; ++tag) {
      recorder.BeginAppendPng(PngLike(tag));
    }
    EXPECT_EQ(recorder.appends_in_flight(), 3u);
    // The recorder counts the frames written, so the counts tell which answer came back.
    for (int32_t frames = 1; frames <= 3; ++frames) {
      FramesReply appended;
      ASSERT_TRUE(recorder.FinishAppendPng(&appended, &failure)) << failure;
      EXPECT_EQ(appended.frames, frames);
    }
    FramesReply none;
    EXPECT_FALSE(recorder.FinishAppendPng(&none, &failure));
    EXPECT_EQ(failure, "no \"appendPng\" is waiting for its answer");

    std::vector<int> in_flight;
    for (size_t index = 1; index < fake.calls().size(); ++index) {
      in_flight.push_back(fake.calls()[index].in_flight);
      EXPECT_EQ(*Argument(fake.calls()[index].arguments, "bytes"),
                EncodableValue(PngLike(static_cast<uint8_t>(index - 1))));
    }
    EXPECT_EQ(in_flight, test.in_flight);
    EXPECT_EQ(fake.posts(), test.post_appends ? 3 : 0);
  }
}

TEST(EngineServicesTest, IncompleteRecordsAreRefused) {
  FakeRecorderEngine fake;
  HalvexEngineServices complete = *fake.services();
  std::string error;
  EXPECT_TRUE(EngineServices::IsUsable(&complete, &error)) << error;
  EXPECT_TRUE(EngineServices(complete).CanPost());

  EXPECT_FALSE(EngineServices::IsUsable(nullptr, &error));
  EXPECT_EQ(error, "the engine passed no services");

  // The first record, without posting, is usable: its messages go one at a time.
  const size_t first_size = offsetof(HalvexEngineServices, post_message);
  HalvexEngineServices first_record = complete;
  first_record.struct_size = first_size;
  EXPECT_TRUE(EngineServices::IsUsable(&first_record, &error)) << error;
  EXPECT_FALSE(EngineServices(first_record).CanPost());
  HalvexEngineServices no_post = complete;
  no_post.post_message = nullptr;
  EXPECT_TRUE(EngineServices::IsUsable(&no_post, &error)) << error;
  EXPECT_FALSE(EngineServices(no_post).CanPost());

  HalvexEngineServices short_record = complete;
  short_record.struct_size = first_size - 1;
  EXPECT_FALSE(EngineServices::IsUsable(&short_record, &error));
  EXPECT_EQ(error, "the engine's services record is too small (" + std::to_string(first_size - 1) +
                       " bytes, at least " + std::to_string(first_size) + " expected)");

  HalvexEngineServices no_send = complete;
  no_send.send_message = nullptr;
  EXPECT_FALSE(EngineServices::IsUsable(&no_send, &error));
  HalvexEngineServices no_frame = complete;
  no_frame.frame_drawn = nullptr;
  EXPECT_FALSE(EngineServices::IsUsable(&no_frame, &error));
  EXPECT_EQ(error, "the engine's services record lacks send_message or frame_drawn");
}

}  // namespace
}  // namespace demo
}  // namespace halvex
