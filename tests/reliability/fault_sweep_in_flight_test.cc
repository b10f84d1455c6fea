// The fault sweep again with every call of the recording in flight at once: whichever thread meets
// the failure (the recorder's, a decoding thread, the capture thread), the calls are answered in
// order, the counts agree with what was written, and nothing is leaked or used after release.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/media/scratch_folder.h"
#include "tests/reliability/fault_sweep_scenario.h"
#include "tests/reliability/fault_sweep_table.h"

namespace halvex::fault_sweep {
namespace {

using testing_support::Answer;

// Video samples of every writer the run made.
int VideoSamplesWritten(const RecordingRun& run) {
  int written = 0;
  for (const halvex::testing::RecordedSinkWriter& writer : run.writers) {
    const int video = VideoStreamIndex(writer);
    for (const halvex::testing::RecordedSample& sample : writer.samples) {
      written += static_cast<int>(sample.stream_index) == video ? 1 : 0;
    }
  }
  return written;
}

void CheckConsistent(const RecordingRun& run) {
  ASSERT_EQ(run.start.answers, 1);
  const bool started = run.start.kind == Answer::Kind::kSuccess;
  if (!started) {
    EXPECT_EQ(run.start.code, "start_failed");
  }
  int frames = 0;
  for (size_t i = 0; i < run.frames.size(); ++i) {
    SCOPED_TRACE("appendPng call " + std::to_string(i + 1));
    ASSERT_EQ(run.frames[i].answer.answers, 1);
    const int reported = FramesIn(run.frames[i].answer);
    // Each frame adds itself or is dropped; the counts come in call order.
    EXPECT_TRUE(reported == frames || reported == frames + 1) << reported << " after " << frames;
    frames = reported;
  }
  EXPECT_TRUE(run.captureSettled) << "audio capture neither polled nor ended";
  ASSERT_EQ(run.stop.answers, 1);
  EXPECT_EQ(FramesIn(run.stop), frames);
  EXPECT_EQ(VideoSamplesWritten(run), frames);
  if (!started) {
    EXPECT_EQ(frames, 0);
  }
  EXPECT_EQ(run.liveObjectsAfter, run.liveObjectsBefore);
  EXPECT_EQ(run.taskMemoryAfter, run.taskMemoryBefore);
  EXPECT_EQ(run.overReleases, 0);
  EXPECT_EQ(run.callsOnReleasedObjects, 0);
  EXPECT_EQ(run.platformApartmentInits, 1) << "the platform thread's apartment was changed";
}

// The calls of the file interface are made only when the writer writes a real file.
RecordingRun RecordInFlight(const InjectedFault& fault,
                            const media_testing::ScratchFolder& folder,
                            bool realFile = false) {
  RunOptions options;
  options.fault = fault;
  options.inFlight = true;
  options.realFiles = realFile;
  options.path = folder.File("in-flight-" + std::to_string(fault.occurrence) + ".mp4");
  return RunRecording(options);
}

TEST(FaultSweepInFlightReference, RecordsEveryFrame) {
  const media_testing::ScratchFolder folder;
  const RecordingRun run = RecordInFlight(InjectedFault{}, folder);
  CheckConsistent(run);
  EXPECT_EQ(FramesIn(run.stop), kFrameCalls);
}

class FaultSweepInFlight : public ::testing::TestWithParam<SweepEntry> {};

TEST_P(FaultSweepInFlight, EveryOccurrenceFailingLeavesConsistentAnswers) {
  const SweepEntry& entry = GetParam();
  if (entry.oncePerProcess) {
    GTEST_SKIP() << entry.call << " is made once per process, before calls are in flight";
  }
  const media_testing::ScratchFolder folder;
  const RecordingRun reference = RecordInFlight(InjectedFault{}, folder, entry.needsRealFile);
  const auto made = reference.calls.find(entry.call);
  ASSERT_NE(made, reference.calls.end()) << "the recording does not make " << entry.call;
  const int occurrences =
      entry.firstOccurrences > 0 ? std::min(made->second, entry.firstOccurrences) : made->second;
  for (int occurrence = 1; occurrence <= occurrences; ++occurrence) {
    SCOPED_TRACE(std::string(entry.call) + " fails at occurrence " + std::to_string(occurrence));
    const RecordingRun run =
        RecordInFlight({entry.call, entry.failure, occurrence}, folder, entry.needsRealFile);
    CheckConsistent(run);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCall,
                         FaultSweepInFlight,
                         ::testing::ValuesIn(SweepTable()),
                         TestName);

}  // namespace
}  // namespace halvex::fault_sweep
