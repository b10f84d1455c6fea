#include "tests/reliability/recorder_stress_cycles.h"

#include <chrono>
#include <deque>
#include <optional>
#include <iterator>
#include <sstream>
#include <thread>
#include <utility>

#include "messaging/encodable_value.h"
#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/queued_calls.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/recorder_stress_writer_checks.h"
#include "windows_testing/com.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex::stress {
namespace {

namespace mf = halvex::testing;
using flutter::EncodableMap;
using flutter::EncodableValue;
using testing_support::Answer;
using testing_support::CallRecorder;

// Rates as "start" receives them, with the frame duration each must give once limited to 1..30.
struct Rate {
  double fps;
  int64_t frameDuration;
};
constexpr Rate kRates[] = {{30.0, 333333}, {29.97, 333667}, {8.0, 1250000}, {12.5, 800000},
                           {60.0, 333333}, {1.0, 10000000}, {0.5, 10000000}};

constexpr int kPausesMicroseconds[] = {0, 0, 200, 1000};

// Long enough for a loaded machine; the watchdog's limit is longer still.
constexpr auto kAudioWait = std::chrono::seconds(10);

constexpr UINT kFirstImageTag = 7000;
constexpr DWORD kAudioStream = 1;

struct Reply {
  bool success = false;
  int32_t frames = -1;
  bool hasAudio = false;
  bool hasAudioTrack = false;
};

const EncodableValue* Entry(const Answer& answer, const char* key) {
  const auto* map = std::get_if<EncodableMap>(&answer.value);
  return map == nullptr ? nullptr : flutter::LookupTextKey(*map, key);
}

bool Flag(const Answer& answer, const char* key) {
  const EncodableValue* value = Entry(answer, key);
  const bool* flag = value == nullptr ? nullptr : std::get_if<bool>(value);
  return flag != nullptr && *flag;
}

Reply ReplyOf(const Answer& answer) {
  Reply reply;
  reply.success = answer.answers == 1 && answer.kind == Answer::Kind::kSuccess;
  const EncodableValue* frames = Entry(answer, "frames");
  if (const int32_t* count = frames == nullptr ? nullptr : std::get_if<int32_t>(frames)) {
    reply.frames = *count;
  }
  reply.hasAudio = Flag(answer, "hasAudio");
  reply.hasAudioTrack = Flag(answer, "hasAudioTrack");
  return reply;
}

Reply Call(const std::string& method, EncodableValue arguments) {
  return ReplyOf(CallRecorder(method, std::move(arguments)));
}

EncodableValue FrameArguments(const FrameImage& image) {
  return EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(image.bytes)}});
}

bool CaptureThreadHasWritten() {
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  if (writers.empty()) {
    return false;
  }
  for (const mf::RecordedSample& sample : writers.back().samples) {
    if (sample.stream_index == kAudioStream) {
      return true;
    }
  }
  return false;
}

bool CaptureClientsBalanced() {
  return mf::CallCount("IAudioClient::Start") == mf::CallCount("IAudioClient::Stop");
}

std::string Describe(const std::map<std::string, int>& counts) {
  std::ostringstream text;
  text << "{";
  for (const auto& [name, count] : counts) {
    text << " " << name << ": " << count;
  }
  text << " }";
  return text.str();
}

}  // namespace

const char* CycleKindName(CycleKind kind) {
  switch (kind) {
    case CycleKind::kAudioThroughout:
      return "frames while audio is captured";
    case CycleKind::kStopAfterThirdFrame:
      return "stop right after the third frame";
    case CycleKind::kAudioDisabled:
      return "audio disabled";
    case CycleKind::kStartInterrupts:
      return "start during a recording";
  }
  return "unknown";
}

StressCycles::StressCycles(StallWatchdog& watchdog, unsigned seed, RecorderCallQueue* queue)
    : watchdog_(watchdog),
      random_(seed),
      queue_(queue),
      liveObjectsBefore_(mf::LiveObjectCounts()),
      taskMemoryBefore_(mf::LiveTaskMemAllocations()),
      overReleasesBefore_(mf::OverReleases()),
      invalidFreesBefore_(mf::InvalidTaskMemFrees()),
      callsOnReleasedBefore_(mf::CallsOnReleasedObjects()) {
  ScriptFrames();
}

void StressCycles::ScriptFrames() {
  images_.clear();
  usableImages_.clear();
  unusableImages_.clear();
  UINT tag = kFirstImageTag;
  // Odd sizes lose a row or column; every later size is scaled to the first frame's.
  const std::pair<uint32_t, uint32_t> sizes[] = {{4, 2}, {6, 4}, {7, 5}, {17, 9}, {2, 2}};
  for (const auto& [width, height] : sizes) {
    usableImages_.push_back(images_.size());
    images_.push_back({testing_support::ScriptedPng(tag++, width, height), width, height, true});
  }
  unusableImages_ = {images_.size(), images_.size() + 1, images_.size() + 2, images_.size() + 3};
  images_.push_back({testing_support::ScriptedPng(tag++, 1, 6), 1, 6, false});  // too narrow
  images_.push_back({mf::PngLikeBytes(tag++), 0, 0, false});  // a signature, then nothing known
  images_.push_back({{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}, 0, 0, false});  // seven bytes
  images_.push_back({{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0}, 0, 0, false});
}

bool StressCycles::Chance(int numerator, int denominator) {
  return std::uniform_int_distribution<int>(1, denominator)(random_) <= numerator;
}

std::vector<size_t> StressCycles::RandomFrames(int minUsable, int maxUsable) {
  const int usable = std::uniform_int_distribution<int>(minUsable, maxUsable)(random_);
  std::vector<size_t> frames;
  for (int taken = 0; taken < usable;) {
    if (Chance(1, 6)) {
      frames.push_back(unusableImages_[random_() % unusableImages_.size()]);
    } else {
      frames.push_back(usableImages_[random_() % usableImages_.size()]);
      ++taken;
    }
  }
  return frames;
}

RecordingPlan StressCycles::NewRecording(int cycle, int take, bool enableAudio) {
  const Rate& rate = kRates[random_() % std::size(kRates)];
  RecordingPlan plan;
  const std::string name = "cycle-" + std::to_string(cycle) + "-" + std::to_string(take) + ".mp4";
  plan.path = "stress/" + name;
  plan.url = L"stress\\" + std::wstring(name.begin(), name.end());
  plan.fps = rate.fps;
  plan.frameDuration = rate.frameDuration;
  plan.enableAudio = enableAudio;
  plan.pauseMicroseconds =
      enableAudio ? kPausesMicroseconds[random_() % std::size(kPausesMicroseconds)] : 0;
  plan.framesInFlight = Chance(1, 2) ? 1 : 2 + static_cast<int>(random_() % 2);
  return plan;
}

std::vector<RecordingPlan> StressCycles::Plan(CycleKind kind, int cycle) {
  switch (kind) {
    case CycleKind::kAudioThroughout: {
      RecordingPlan plan = NewRecording(cycle, 0, true);
      plan.frames = RandomFrames(3, 9);
      plan.waitForAudio = Chance(1, 2);
      return {plan};
    }
    case CycleKind::kStopAfterThirdFrame: {
      RecordingPlan plan = NewRecording(cycle, 0, true);
      plan.frames = RandomFrames(3, 3);
      plan.pauseMicroseconds = 0;
      return {plan};
    }
    case CycleKind::kAudioDisabled: {
      RecordingPlan plan = NewRecording(cycle, 0, false);
      plan.frames = RandomFrames(0, 8);
      return {plan};
    }
    case CycleKind::kStartInterrupts: {
      RecordingPlan first = NewRecording(cycle, 0, Chance(3, 4));
      first.frames = RandomFrames(0, 7);
      first.waitForAudio = first.enableAudio && Chance(1, 3);
      RecordingPlan second = NewRecording(cycle, 1, Chance(1, 2));
      second.frames = RandomFrames(0, 6);
      return {first, second};
    }
  }
  return {};
}

::testing::AssertionResult StressCycles::StartRecording(int cycle, const RecordingPlan& plan) {
  watchdog_.Progress(cycle, "starting a recording");
  const Reply reply =
      Call("start", EncodableValue(EncodableMap{
                        {EncodableValue("path"), EncodableValue(plan.path)},
                        {EncodableValue("fps"), EncodableValue(plan.fps)},
                        {EncodableValue("enableAudio"), EncodableValue(plan.enableAudio)},
                    }));
  if (!reply.success) {
    return ::testing::AssertionFailure() << "\"start\" failed";
  }
  if (reply.hasAudioTrack != plan.enableAudio) {
    return ::testing::AssertionFailure() << "\"hasAudioTrack\" does not repeat \"enableAudio\"";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::AppendFrames(int cycle,
                                                      const RecordingPlan& plan,
                                                      RecordingOutcome* outcome) {
  if (plan.framesInFlight <= 1) {
    for (const size_t index : plan.frames) {
      watchdog_.Progress(cycle, "appending a frame");
      const Answer answer = CallRecorder("appendPng", FrameArguments(images_[index]));
      ::testing::AssertionResult taken =
          TakeFrameAnswer(cycle, plan, images_[index], answer, outcome);
      if (!taken) {
        return taken;
      }
    }
    return ::testing::AssertionSuccess();
  }
  // Answers come in call order, so each is checked as if it had been waited for; the calls still
  // in flight when one fails are answered before the cycle goes on.
  testing_support::QueuedCalls calls(queue_);
  std::deque<size_t> inFlight;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  auto takeOldest = [&] {
    watchdog_.Progress(cycle, "waiting for a frame's answer");
    const std::optional<testing_support::QueuedCalls::Taken> taken = calls.TakeOldest();
    const size_t index = inFlight.front();
    inFlight.pop_front();
    if (!result) {
      return;
    }
    if (!taken) {
      result = ::testing::AssertionFailure() << "a frame in flight was never answered";
      return;
    }
    result = TakeFrameAnswer(cycle, plan, images_[index], taken->answer, outcome);
  };
  for (const size_t index : plan.frames) {
    if (!result) {
      break;
    }
    watchdog_.Progress(cycle, "sending a frame");
    calls.Send("appendPng", FrameArguments(images_[index]));
    inFlight.push_back(index);
    if (static_cast<int>(inFlight.size()) >= plan.framesInFlight) {
      takeOldest();
    }
    if (outcome->threadStarted && plan.pauseMicroseconds > 0) {
      std::this_thread::sleep_for(std::chrono::microseconds(plan.pauseMicroseconds));
    }
  }
  while (!inFlight.empty()) {
    takeOldest();
  }
  return result;
}

::testing::AssertionResult StressCycles::TakeFrameAnswer(int cycle,
                                                         const RecordingPlan& plan,
                                                         const FrameImage& image,
                                                         const Answer& answer,
                                                         RecordingOutcome* outcome) {
  const Reply reply = ReplyOf(answer);
  const int32_t expected = outcome->frames + (image.usable ? 1 : 0);
  if (!reply.success || reply.frames != expected) {
    return ::testing::AssertionFailure()
           << "\"appendPng\" of a " << (image.usable ? "usable" : "unusable") << " " << image.width
           << "x" << image.height << " image answered " << reply.frames << " frames, expected "
           << expected << " (" << plan.framesInFlight << " in flight)";
  }
  if (outcome->hasAudio && !reply.hasAudio) {
    return ::testing::AssertionFailure() << "\"hasAudio\" turned false within a recording";
  }
  // The thread is started under the lock that the reply is read under: its audio can show
  // only from the next call on.
  if (reply.hasAudio && !outcome->threadStarted) {
    return ::testing::AssertionFailure()
           << "\"hasAudio\" true at frame " << reply.frames << " with no capture thread yet";
  }
  outcome->frames = reply.frames;
  outcome->hasAudio = reply.hasAudio;
  if (image.usable && outcome->nv12Bytes == 0) {
    outcome->nv12Bytes = Nv12Bytes(image.width, image.height);
  }
  if (image.usable && plan.enableAudio && reply.frames == 3) {
    outcome->threadStarted = true;
    if (plan.waitForAudio) {
      watchdog_.Progress(cycle, "waiting for the capture thread's first audio");
      if (!testing_support::WaitFor(CaptureThreadHasWritten, kAudioWait)) {
        return ::testing::AssertionFailure() << "the capture thread wrote no audio";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::StopRecording(int cycle,
                                                       const RecordingPlan& plan,
                                                       const RecordingOutcome& outcome,
                                                       bool* stopReportedAudio) {
  watchdog_.Progress(cycle, "stopping");
  const Reply reply = Call("stop", EncodableValue());
  if (!reply.success || reply.frames != outcome.frames) {
    return ::testing::AssertionFailure()
           << "\"stop\" answered " << reply.frames << " frames, the last frame " << outcome.frames;
  }
  if (reply.hasAudio && !(plan.enableAudio && outcome.threadStarted)) {
    return ::testing::AssertionFailure() << "\"stop\" reported audio that no thread captured";
  }
  if (outcome.hasAudio && !reply.hasAudio) {
    return ::testing::AssertionFailure() << "\"stop\" lost the audio \"appendPng\" reported";
  }
  *stopReportedAudio = reply.hasAudio;
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::CheckEndedByStart(const RecordingOutcome& ended) const {
  if (ended.frames > 0) {
    const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
    if (writers.empty() || writers.back().finalize_results.size() != 1 || writers.back().alive) {
      return ::testing::AssertionFailure()
             << "the second \"start\" returned before the first file was finalised and released";
    }
  }
  if (!CaptureClientsBalanced()) {
    return ::testing::AssertionFailure()
           << "the second \"start\" returned while the first capture thread still ran";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::CheckWriters(const std::vector<RecordingPlan>& plans,
                                                      const std::vector<RecordingOutcome>& outcomes,
                                                      bool stopReportedAudio) const {
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  size_t next = 0;
  for (size_t i = 0; i < plans.size(); ++i) {
    // A recording that never got a usable frame leaves no file.
    if (outcomes[i].frames == 0) {
      continue;
    }
    if (next == writers.size()) {
      return ::testing::AssertionFailure() << "recording " << i << " made no writer";
    }
    const bool endedByStop = i + 1 == plans.size();
    ExpectedWriter expected;
    expected.url = plans[i].url;
    expected.frames = outcomes[i].frames;
    expected.frameDuration = plans[i].frameDuration;
    expected.nv12Bytes = outcomes[i].nv12Bytes;
    expected.audioStream = plans[i].enableAudio;
    expected.endedByStop = endedByStop;
    expected.stopReportedAudio = endedByStop && stopReportedAudio;
    ::testing::AssertionResult result = CheckWriter(writers[next++], expected);
    if (!result) {
      return result << " (writer of recording " << i << ")";
    }
  }
  if (next != writers.size()) {
    return ::testing::AssertionFailure()
           << writers.size() << " writers made for " << next << " recordings with frames";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::CheckCaptureThreads(int expectedSinceCycleBegan) const {
  // Every capture thread asks for the default device once, first thing.
  const int opened =
      mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint") - endpointRequestsAtCycleStart_;
  if (opened != expectedSinceCycleBegan) {
    return ::testing::AssertionFailure()
           << opened << " capture threads ran, expected " << expectedSinceCycleBegan;
  }
  if (!CaptureClientsBalanced()) {
    return ::testing::AssertionFailure() << "an audio client was started and never stopped";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::CheckNothingAlive() const {
  const std::map<std::string, int> live = mf::LiveObjectCounts();
  if (live != liveObjectsBefore_) {
    return ::testing::AssertionFailure() << "COM objects alive after \"stop\": " << Describe(live)
                                         << ", before the run: " << Describe(liveObjectsBefore_);
  }
  if (mf::LiveTaskMemAllocations() != taskMemoryBefore_) {
    return ::testing::AssertionFailure()
           << mf::LiveTaskMemAllocations() - taskMemoryBefore_ << " task memory blocks leaked";
  }
  if (mf::OverReleases() != overReleasesBefore_ ||
      mf::CallsOnReleasedObjects() != callsOnReleasedBefore_ ||
      mf::InvalidTaskMemFrees() != invalidFreesBefore_) {
    return ::testing::AssertionFailure() << "an object or task memory block was used after its end";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult StressCycles::Run(int cycle) {
  const auto kind = static_cast<CycleKind>(cycle % kCycleKinds);
  // Only this cycle's writers are looked at; forgetting the others keeps each look cheap.
  mf::ResetMediaFoundation();
  // The frames are a few pixels, the audio at most seconds: their bytes cost little, and tell
  // whether only silence was written.
  mf::KeepSampleBytes(true);
  endpointRequestsAtCycleStart_ = mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint");

  const std::vector<RecordingPlan> plans = Plan(kind, cycle);
  std::vector<RecordingOutcome> outcomes;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  for (size_t i = 0; result && i < plans.size(); ++i) {
    result = StartRecording(cycle, plans[i]);
    if (result && i > 0) {
      result = CheckEndedByStart(outcomes.back());
    }
    RecordingOutcome outcome;
    if (result) {
      result = AppendFrames(cycle, plans[i], &outcome);
    }
    outcomes.push_back(outcome);
  }
  bool stopReportedAudio = false;
  if (result) {
    result = StopRecording(cycle, plans.back(), outcomes.back(), &stopReportedAudio);
  } else {
    watchdog_.Progress(cycle, "stopping after a failure");
    Call("stop", EncodableValue());
  }
  int threads = 0;
  for (const RecordingOutcome& outcome : outcomes) {
    threads += outcome.threadStarted ? 1 : 0;
  }
  captureThreadsStarted_ += threads;
  stopsThatReportedAudio_ += stopReportedAudio ? 1 : 0;
  watchdog_.Progress(cycle, "checking the writers");
  if (result) {
    result = CheckWriters(plans, outcomes, stopReportedAudio);
  }
  if (result) {
    result = CheckCaptureThreads(threads);
  }
  if (result) {
    result = CheckNothingAlive();
  }
  if (!result) {
    result << " (cycle " << cycle << ": " << CycleKindName(kind) << ")";
  }
  return result;
}

}  // namespace halvex::stress
