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

TEST(RunRecordingTest, FailuresAreReportedAndWhatWasWrittenIsStillStopped) {
  struct Case {
    const char* name;
    const char* method;
    int occurrence;
    ScriptedAnswer::Kind kind;
    std::vector<std::string> methods;  // the calls made, in order
    std::string error;
    const char* summary_line;  // nullptr: no summary
  };
  const Case cases[] = {
      {"start refused",
       "start",
       1,
       ScriptedAnswer::Kind::kErrorEnvelope,
       {"start"},
       "demo: \"start\" was answered with the error bad_args: bytes required\n",
       nullptr},
      {"no recorder channel",
       "start",
       1,
       ScriptedAnswer::Kind::kEmptyReply,
       {"start"},
       "demo: \"start\" got an empty answer: nothing on com.halvex.camera/desktop_recorder "
       "implements it\n",
       nullptr},
      {"frame refused",
       "appendPng",
       2,
       ScriptedAnswer::Kind::kErrorEnvelope,
       {"start", "appendPng", "appendPng", "stop"},
       "demo: frame 1: \"appendPng\" was answered with the error bad_args: bytes required\n",
       "  appendPng successes: 1\n"},
      {"engine gone mid-way",
       "appendPng",
       3,
       ScriptedAnswer::Kind::kNoAnswer,
       {"start", "appendPng", "appendPng", "appendPng"},
       "demo: frame 2: \"appendPng\" got no answer: the engine is shutting down\n",
       "  frames written: unknown (\"stop\" did not answer)\n"},
      {"stop unanswered",
       "stop",
       1,
       ScriptedAnswer::Kind::kEmptyReply,
       {"start", "appendPng", "appendPng", "appendPng", "appendPng", "appendPng", "stop"},
       "demo: \"stop\" got an empty answer: nothing on com.halvex.camera/desktop_recorder "
       "implements it\n",
       "  appendPng successes: 5\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    FakeRecorderEngine fake;
    fake.Script(test.method, test.occurrence, Scripted(test.kind));
    const DemoOptions options = FastOptions();
    SceneFrameSource source(options.width, options.height, options.fps, DrawnFrameCount(options));
    const AppRun run = RunWith(fake, options, source);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(fake.Methods(), test.methods);
    EXPECT_EQ(run.err, test.error);
    EXPECT_EQ(run.out.find("Recording finished."), std::string::npos);
    if (test.summary_line == nullptr) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_NE(run.out.find("Recording stopped early.\n"), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(test.summary_line), std::string::npos) << run.out;
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
