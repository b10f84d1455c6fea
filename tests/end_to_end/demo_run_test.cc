#include "app/demo_run.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/png_encoder.h"
#include "app/scene.h"
#include "app/scene_frame_source.h"
#include "tests/end_to_end/fake_recorder_engine.h"
#include "tests/end_to_end/png_decode.h"

namespace halvex {
namespace demo {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using testing::FakeRecorderEngine;
using testing::ScriptedAnswer;

DemoOptions FastOptions() {
  DemoOptions options;
  options.output_path = "/tmp/halvex-demo-run-test.mp4";
  options.fps = 10;
  options.seconds = 0.5;
  options.width = 32;
  options.height = 24;
  options.fast = true;
  return options;
}

// A frame source that fails at one frame, as a folder whose file vanished would.
class FailingFrameSource : public FrameSource {
 public:
  FailingFrameSource(int64_t count, int64_t failing_index)
      : scene_(16, 12, 10, count), failing_index_(failing_index) {}
  int64_t frame_count() const override { return scene_.frame_count(); }
  bool ProducePng(int64_t index, std::vector<uint8_t>* png, std::string* error) override {
    if (index == failing_index_) {
      *error = "the frame went missing";
      return false;
    }
    return scene_.ProducePng(index, png, error);
  }

 private:
  SceneFrameSource scene_;
  int64_t failing_index_;
};

struct AppRun {
  int status;
  std::string out;
  std::string err;
};

AppRun RunWith(FakeRecorderEngine& fake, const DemoOptions& options, FrameSource& source) {
  EngineServices engine(*fake.services());
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunRecording(options, source, engine, out, err);
  return AppRun{status, out.str(), err.str()};
}

TEST(RunRecordingTest, SendsEveryFrameThenStopsAndSummarisesTheReplies) {
  FakeRecorderEngine fake;
  const DemoOptions options = FastOptions();
  SceneFrameSource source(options.width, options.height, options.fps, DrawnFrameCount(options));
  const AppRun run = RunWith(fake, options, source);

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> expected_methods = {"start"};
  expected_methods.insert(expected_methods.end(), 5, "appendPng");
  expected_methods.push_back("stop");
  EXPECT_EQ(fake.Methods(), expected_methods);
  EXPECT_EQ(fake.frames_drawn(), 5);
  EXPECT_NE(run.out.find("Recording finished.\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  frames sent: 5\n"), std::string::npos);
  EXPECT_NE(run.out.find("  appendPng successes: 5\n"), std::string::npos);
  EXPECT_NE(run.out.find("  frames written: 5 (reported by \"stop\")\n"), std::string::npos);
  EXPECT_NE(run.out.find("  audio requested: yes (hasAudioTrack: yes)\n"), std::string::npos);
  EXPECT_NE(run.out.find("  output: /tmp/halvex-demo-run-test.mp4\n"), std::string::npos);
  EXPECT_NE(run.out.find("\rframes 5/5 | "), std::string::npos) << "the last frame is always shown";

  // Each frame is the scene at its own index, decodable and of the requested size.
  for (int64_t index = 0; index < 5; ++index) {
    const EncodableMap& arguments = std::get<EncodableMap>(fake.calls()[1 + index].arguments);
    const auto& png = std::get<std::vector<uint8_t>>(*flutter::LookupTextKey(arguments, "bytes"));
    const testing::DecodedPng decoded = testing::DecodePng(png);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 32u);
    EXPECT_EQ(decoded.height, 24u);
    EXPECT_EQ(decoded.rgb, DrawTestScene(32, 24, index, 10).pixels());
  }
}

// The scene as the engine's view takes it: blue, green, red and a spare byte per pixel.
std::vector<uint8_t> ViewBytes(const Image& picture) {
  std::vector<uint8_t> bytes;
  for (size_t at = 0; at < picture.pixels().size(); at += 3) {
    bytes.insert(bytes.end(),
                 {picture.pixels()[at + 2], picture.pixels()[at + 1], picture.pixels()[at], 0});
  }
  return bytes;
}

TEST(RunRecordingTest, EachDrawnFrameGoesToTheViewOfAnEngineThatHasOne) {
  struct Case {
    const char* name;
    void (FakeRecorderEngine::*offer)();
    int presents;
  };
  const Case cases[] = {
      {"current engine", nullptr, 5},
      {"engine from before present_frame", &FakeRecorderEngine::OfferWithoutPresenting, 0},
      {"engine from before posting", &FakeRecorderEngine::OfferOnlySending, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeRecorderEngine fake;
    if (c.offer != nullptr) {
      (fake.*c.offer)();
    }
    const DemoOptions options = FastOptions();
    SceneFrameSource source(options.width, options.height, options.fps, DrawnFrameCount(options));
    const AppRun run = RunWith(fake, options, source);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fake.frames_drawn(), 5);
    EXPECT_EQ(fake.presents(), c.presents);
    if (c.presents > 0) {
      EXPECT_EQ(fake.last_presented_width(), 32);
      EXPECT_EQ(fake.last_presented(), ViewBytes(DrawTestScene(32, 24, 4, 10)));
    }
  }
}

TEST(RunRecordingTest, FramesTheRecorderDroppedAreReportedButAreNoFailure) {
  FakeRecorderEngine fake;
  fake.set_counts_frames(false);
  DemoOptions options = FastOptions();
  options.enable_audio = false;
  SceneFrameSource source(options.width, options.height, options.fps, 3);
  const AppRun run = RunWith(fake, options, source);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("  frames sent: 3\n"), std::string::npos);
  EXPECT_NE(run.out.find("  frames written: 0 (reported by \"stop\")\n"), std::string::npos);
  EXPECT_NE(run.out.find("  audio requested: no (hasAudioTrack: no)\n"), std::string::npos);
  EXPECT_NE(run.out.find("  note: the recorder wrote 0 of the 3 frames sent"), std::string::npos);
}

ScriptedAnswer Scripted(ScriptedAnswer::Kind kind) {
  ScriptedAnswer answer;
  answer.kind = kind;
  if (kind == ScriptedAnswer::Kind::kErrorEnvelope) {
    answer.error_code = "bad_args";
    answer.error_message = "bytes required";
  }
  return answer;
}

std::vector<std::string> StartAppendsStop(int appends, bool stop) {
  std::vector<std::string> methods = {"start"};
  methods.insert(methods.end(), appends, "appendPng");
  if (stop) {
    methods.push_back("stop");
  }
  return methods;
}

FakeRecorderEngine::Answering AnsweringFor(int in_flight) {
  // Several in flight: answered only when waited for, from another thread, so nothing can rely on
  // an answer given inside the call.
  return in_flight > 1 ? FakeRecorderEngine::Answering::kLaterOnAnotherThread
                       : FakeRecorderEngine::Answering::kAtOnce;
}

TEST(RunRecordingTest, KeepsAtMostTheAskedFramesInFlightAndTakesEveryAnswerBeforeStop) {
  struct Case {
    const char* name;
    int in_flight;
    bool engine_can_post;
    int most_in_flight;
    int posts;
  };
  const Case cases[] = {
      {"one at a time", 1, true, 1, 0},
      {"two", 2, true, 2, 5},
      {"three", 3, true, 3, 5},
      {"more than there are frames", 8, true, 5, 5},
      {"an engine that cannot post", 3, false, 1, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    FakeRecorderEngine fake(AnsweringFor(test.in_flight));
    if (!test.engine_can_post) {
      fake.OfferOnlySending();
    }
    DemoOptions options = FastOptions();
    options.in_flight = test.in_flight;
    SceneFrameSource source(options.width, options.height, options.fps, DrawnFrameCount(options));
    const AppRun run = RunWith(fake, options, source);

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(fake.Methods(), StartAppendsStop(5, true));
    EXPECT_EQ(fake.most_in_flight(), test.most_in_flight);
    EXPECT_EQ(fake.posts(), test.posts);
    EXPECT_EQ(fake.calls().back().in_flight, 1) << "\"stop\" waits until every answer is taken";
    EXPECT_EQ(fake.frames_drawn(), 5);
    EXPECT_NE(run.out.find("  appendPng successes: 5\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  frames written: 5 (reported by \"stop\")\n"), std::string::npos);
    EXPECT_NE(run.out.find("\rframes 5/5 | "), std::string::npos);
    EXPECT_EQ(run.out.find("Note: this engine answers one message at a time") != std::string::npos,
              !test.engine_can_post)
        << run.out;
  }
}

TEST(RunRecordingTest, FailuresAreReportedAndWhatWasWrittenIsStillStopped) {
  struct Case {
    const char* name;
    int in_flight;
    const char* method;
    std::vector<int> occurrences;  // of the method, each answered as `kind`
    ScriptedAnswer::Kind kind;
    std::vector<std::string> methods;  // the calls made, in order
    std::string error;
    std::vector<const char*> summary_lines;  // empty: no summary
  };
  const Case cases[] = {
      {"start refused",
       2,
       "start",
       {1},
       ScriptedAnswer::Kind::kErrorEnvelope,
       {"start"},
       "demo: \"start\" was answered with the error bad_args: bytes required\n",
       {}},
      {"no recorder channel",
       2,
       "start",
       {1},
       ScriptedAnswer::Kind::kEmptyReply,
       {"start"},
       "demo: \"start\" got an empty answer: nothing on com.halvex.camera/desktop_recorder "
       "implements it\n",
       {}},
      {"frame refused",
       1,
       "appendPng",
       {2},
       ScriptedAnswer::Kind::kErrorEnvelope,
       StartAppendsStop(2, true),
       "demo: frame 1: \"appendPng\" was answered with the error bad_args: bytes required\n",
       {"  frames sent: 2\n", "  appendPng successes: 1\n"}},
      // Frames 0 to 2 are in flight when frame 1's answer is taken: the frames sent before it is
      // known are still answered, and counted, before "stop".
      {"middle answer of three in flight refused",
       3,
       "appendPng",
       {2},
       ScriptedAnswer::Kind::kErrorEnvelope,
       StartAppendsStop(4, true),
       "demo: frame 1: \"appendPng\" was answered with the error bad_args: bytes required\n",
       {"  frames sent: 4\n", "  appendPng successes: 3\n", "  frames written: 3 (reported"}},
      {"last answer refused",
       2,
       "appendPng",
       {5},
       ScriptedAnswer::Kind::kErrorEnvelope,
       StartAppendsStop(5, true),
       "demo: frame 4: \"appendPng\" was answered with the error bad_args: bytes required\n",
       {"  frames sent: 5\n", "  appendPng successes: 4\n"}},
      {"engine gone mid-way",
       1,
       "appendPng",
       {3},
       ScriptedAnswer::Kind::kNoAnswer,
       StartAppendsStop(3, false),
       "demo: frame 2: \"appendPng\" got no answer: the engine is shutting down\n",
       {"  frames written: unknown (\"stop\" did not answer)\n"}},
      // Frames 1 and 2 go unanswered: one line tells that the engine is going away, and no
      // "stop" is sent to it, though frame 3 was still answered.
      {"engine gone with three in flight",
       3,
       "appendPng",
       {2, 3},
       ScriptedAnswer::Kind::kNoAnswer,
       StartAppendsStop(4, false),
       "demo: frame 1: \"appendPng\" got no answer: the engine is shutting down\n",
       {"  appendPng successes: 2\n"}},
      {"stop unanswered",
       2,
       "stop",
       {1},
       ScriptedAnswer::Kind::kEmptyReply,
       StartAppendsStop(5, true),
       "demo: \"stop\" got an empty answer: nothing on com.halvex.camera/desktop_recorder "
       "implements it\n",
       {"  appendPng successes: 5\n"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    FakeRecorderEngine fake(AnsweringFor(test.in_flight));
    for (int occurrence : test.occurrences) {
      fake.Script(test.method, occurrence, Scripted(test.kind));
    }
    DemoOptions options = FastOptions();
    options.in_flight = test.in_flight;
    SceneFrameSource source(options.width, options.height, options.fps, DrawnFrameCount(options));
    const AppRun run = RunWith(fake, options, source);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(fake.Methods(), test.methods);
    EXPECT_EQ(run.err, test.error);
    EXPECT_EQ(run.out.find("Recording finished."), std::string::npos);
    if (test.summary_lines.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_NE(run.out.find("Recording stopped early.\n"), std::string::npos) << run.out;
    }
    for (const char* line : test.summary_lines) {
      EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    }
    if (test.methods.back() == "stop") {
      EXPECT_EQ(fake.calls().back().in_flight, 1) << "\"stop\" waits until every answer is taken";
    }
  }
}

TEST(RunRecordingTest, FrameThatCannotBeProducedEndsTheRecordingCleanly) {
  FakeRecorderEngine fake;
  FailingFrameSource source(4, 2);
  const AppRun run = RunWith(fake, FastOptions(), source);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(fake.Methods(), (std::vector<std::string>{"start", "appendPng", "appendPng", "stop"}));
  EXPECT_EQ(fake.frames_drawn(), 2);
  EXPECT_EQ(run.err, "demo: frame 2: the frame went missing\n");
  EXPECT_NE(run.out.find("  frames sent: 2\n"), std::string::npos);
  EXPECT_NE(run.out.find("  frames written: 2 (reported by \"stop\")\n"), std::string::npos);
}

}  // namespace
}  // namespace demo
}  // namespace halvex
