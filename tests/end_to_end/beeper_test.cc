#include "app/beeper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "app/demo_run.h"
#include "app/scene_frame_source.h"
#include "tests/end_to_end/fake_recorder_engine.h"

namespace halvex {
namespace demo {
namespace {

TEST(BeepSamplesTest, IsATenthOfASecondFadedInAndOut) {
  const std::vector<int16_t> beep = BeepSamples(48000);
  ASSERT_EQ(beep.size(), 4800u);
  EXPECT_EQ(beep.front(), 0);
  EXPECT_LE(std::abs(beep.back()), 200);
  const auto peak = *std::max_element(beep.begin(), beep.end());
  EXPECT_NEAR(peak, 16384, 20);
  // The fade keeps the first millisecond quiet.
  for (size_t i = 0; i < 48; ++i) {
    EXPECT_LE(std::abs(beep[i]), 16384 / 5) << i;
  }
  EXPECT_EQ(BeepSamples(44100).size(), 4410u);
  EXPECT_TRUE(BeepSamples(0).empty());
}

TEST(MixBeepsTest, AddsThePartOfEachBeepThatFallsInTheChunk) {
  const std::vector<int16_t> beep = {10, 20, 30, 40};
  const struct {
    const char* name;
    int64_t first;
    std::vector<int64_t> starts;
    std::vector<int16_t> expected;  // a chunk of 6 samples of 1
  } cases[] = {
      {"none", 100, {}, {1, 1, 1, 1, 1, 1}},
      {"inside", 100, {101}, {1, 11, 21, 31, 41, 1}},
      {"begins before the chunk", 100, {98}, {31, 41, 1, 1, 1, 1}},
      {"runs past the chunk", 100, {104}, {1, 1, 1, 1, 11, 21}},
      {"entirely before", 100, {90}, {1, 1, 1, 1, 1, 1}},
      {"overlapping beeps add up", 100, {100, 102}, {11, 21, 41, 61, 31, 41}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int16_t> chunk(6, 1);
    MixBeeps(c.first, c.starts, beep, &chunk);
    EXPECT_EQ(chunk, c.expected);
  }
  std::vector<int16_t> loud(2, 30000);
  MixBeeps(0, {0}, {10000, -30000}, &loud);
  EXPECT_EQ(loud, (std::vector<int16_t>{32767, 0}));
}

class RecordingBeeper : public Beeper {
 public:
  void BeepAt(Clock::time_point when) override { times.push_back(when); }
  std::vector<Clock::time_point> times;
};

// A beep is asked for each flash frame, for the moment that frame is due, before any is sent.
TEST(RunRecordingTest, AsksForABeepAtEachFlashFramesDueTime) {
  testing::FakeRecorderEngine fake;
  EngineServices engine(*fake.services());
  DemoOptions options;
  options.output_path = "/tmp/halvex-beeps.mp4";
  options.fps = 20;
  options.seconds = 1.6;
  SceneFrameSource source(16, 12, options.fps, DrawnFrameCount(options));
  RecordingBeeper beeper;
  std::ostringstream out;
  std::ostringstream err;
  const auto before = Beeper::Clock::now();
  ASSERT_EQ(RunRecording(options, source, engine, out, err, &beeper, "on"), 0) << err.str();
  // Flashes at 0.5 s (frame 10) and 1.5 s (frame 30).
  ASSERT_EQ(beeper.times.size(), 2u);
  EXPECT_NEAR(std::chrono::duration<double>(beeper.times[0] - before).count(), 0.5, 0.05);
  EXPECT_NEAR(std::chrono::duration<double>(beeper.times[1] - beeper.times[0]).count(), 1.0, 1e-6);
  EXPECT_NE(out.str().find("  beeps: on (2 played)\n"), std::string::npos) << out.str();

  // Unpaced frames have no moment to beep at.
  options.fast = true;
  RecordingBeeper unused;
  ASSERT_EQ(RunRecording(options, source, engine, out, err, &unused, "on"), 0) << err.str();
  EXPECT_TRUE(unused.times.empty());
}

}  // namespace
}  // namespace demo
}  // namespace halvex
