// One stress cycle: recordings driven through the recorder's channel as the platform thread
// drives them, ended by "stop", and the checks of everything they left behind.
#ifndef HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_CYCLES_H_
#define HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_CYCLES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "recorder/recorder_call_queue.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/reliability/recorder_stress_watchdog.h"

namespace halvex::stress {

enum class CycleKind {
  kAudioThroughout,      // frames go on while the capture thread writes
  kStopAfterThirdFrame,  // "stop" while the capture thread is only starting
  kAudioDisabled,
  kStartInterrupts,  // a second "start" ends the first recording
};

constexpr int kCycleKinds = 4;

const char* CycleKindName(CycleKind kind);

struct FrameImage {
  std::vector<uint8_t> bytes;
  uint32_t width = 0;
  uint32_t height = 0;
  bool usable = false;  // the recorder takes it as a frame
};

struct RecordingPlan {
  std::string path;
  std::wstring url;  // the path as the writer receives it
  double fps = 0.0;
  int64_t frameDuration = 0;
  bool enableAudio = false;
  std::vector<size_t> frames;  // indices of the images to append, in order
  bool waitForAudio = false;   // after the third frame, until the capture thread has written
  int pauseMicroseconds = 0;   // between frames once capture has started
  // 1: each frame is answered before the next is sent, on the caller's thread; more: up to this
  // many frames are in flight on the recorder's call queue, answered on its thread.
  int framesInFlight = 1;
};

struct RecordingOutcome {
  int32_t frames = 0;      // as last replied
  bool hasAudio = false;   // as last replied by "appendPng"
  uint32_t nv12Bytes = 0;  // video sample size set by the first usable frame
  bool threadStarted = false;
};

class StressCycles {
 public:
  // Takes the live COM objects and task memory of the moment as what every cycle must return to.
  // Frames in flight go to `queue`, which runs its calls on the process's recorder.
  StressCycles(StallWatchdog& watchdog, unsigned seed, RecorderCallQueue* queue);

  // Scripts the frame images; needed again after every reset of the imaging stand-in.
  void ScriptFrames();

  // Cycle number `cycle`, of kind `cycle` modulo kCycleKinds. Stops at the first broken rule and
  // says which.
  ::testing::AssertionResult Run(int cycle);

  int CaptureThreadsStarted() const { return captureThreadsStarted_; }
  int StopsThatReportedAudio() const { return stopsThatReportedAudio_; }

 private:
  std::vector<RecordingPlan> Plan(CycleKind kind, int cycle);
  RecordingPlan NewRecording(int cycle, int take, bool enableAudio);
  std::vector<size_t> RandomFrames(int minUsable, int maxUsable);
  bool Chance(int numerator, int denominator);

  ::testing::AssertionResult StartRecording(int cycle, const RecordingPlan& plan);
  ::testing::AssertionResult AppendFrames(int cycle,
                                          const RecordingPlan& plan,
                                          RecordingOutcome* outcome);
  // The checks of one frame's answer, taken in call order; updates `outcome`.
  ::testing::AssertionResult TakeFrameAnswer(int cycle,
                                             const RecordingPlan& plan,
                                             const FrameImage& image,
                                             const testing_support::Answer& answer,
                                             RecordingOutcome* outcome);
  ::testing::AssertionResult StopRecording(int cycle,
                                           const RecordingPlan& plan,
                                           const RecordingOutcome& outcome,
                                           bool* stopReportedAudio);
  ::testing::AssertionResult CheckEndedByStart(const RecordingOutcome& ended) const;
  ::testing::AssertionResult CheckWriters(const std::vector<RecordingPlan>& plans,
                                          const std::vector<RecordingOutcome>& outcomes,
                                          bool stopReportedAudio) const;
  ::testing::AssertionResult CheckCaptureThreads(int expectedSinceCycleBegan) const;
  ::testing::AssertionResult CheckNothingAlive() const;

  StallWatchdog& watchdog_;
  std::mt19937 random_;
  RecorderCallQueue* queue_;
  std::vector<FrameImage> images_;
  std::vector<size_t> usableImages_;
  std::vector<size_t> unusableImages_;
  std::map<std::string, int> liveObjectsBefore_;
  int taskMemoryBefore_ = 0;
  int overReleasesBefore_ = 0;
  int invalidFreesBefore_ = 0;
  int callsOnReleasedBefore_ = 0;
  int endpointRequestsAtCycleStart_ = 0;
  int captureThreadsStarted_ = 0;
  int stopsThatReportedAudio_ = 0;
};

}  // namespace halvex::stress

#endif  // HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_CYCLES_H_
