// The recorder's calls taken off the platform thread: answered in the order they came, each with
// the counts of its own moment, with frames decoded ahead and the queue kept within its limits.
#include "recorder/recorder_call_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/recorder/channel_test_support.h"
#include "tests/recorder/queued_calls.h"
#include "tests/recorder/recorder_test_support.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using testing_support::Answer;
using testing_support::FrameReport;
using testing_support::QueuedCalls;

constexpr char kDecodes[] = "IWICImagingFactory::CreateDecoderFromStream";

EncodableValue Map(EncodableMap entries) {
  return EncodableValue(std::move(entries));
}

EncodableValue StartArguments(const std::string& path) {
  return Map({{EncodableValue("path"), EncodableValue(path)},
              {EncodableValue("fps"), EncodableValue(30)},
              {EncodableValue("enableAudio"), EncodableValue(false)}});
}

EncodableValue PngArguments(const std::vector<uint8_t>& png) {
  return Map({{EncodableValue("bytes"), EncodableValue(png)}});
}

EncodableValue StartAnswer() {
  return Map({{EncodableValue("hasAudioTrack"), EncodableValue(false)}});
}

// What a call must be answered with; Kind::kNone is never expected.
struct Expected {
  Answer::Kind kind;
  EncodableValue value;
  std::string code;
};

class RecorderCallQueueTest : public RecorderTest {
 protected:
  RecorderCallQueue::Limits Limits(int decodeThreads = 2) {
    RecorderCallQueue::Limits limits;
    limits.decodeThreads = decodeThreads;
    return limits;
  }

  std::vector<uint8_t> Png(UINT width = 8, UINT height = 6) {
    return testing_support::ScriptedPng(++tag_, width, height);
  }

  // Takes every answer still owed and compares it, in order, with `expected`.
  void ExpectAnswers(QueuedCalls& calls, const std::vector<Expected>& expected) {
    ASSERT_EQ(calls.InFlight(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE("call " + std::to_string(i));
      const std::optional<QueuedCalls::Taken> taken = calls.TakeOldest();
      ASSERT_TRUE(taken.has_value()) << "no answer";
      EXPECT_EQ(taken->answer.answers, 1);
      EXPECT_TRUE(taken->onAnotherThread);
      EXPECT_EQ(taken->answer.kind, expected[i].kind);
      if (expected[i].kind == Answer::Kind::kSuccess) {
        EXPECT_EQ(taken->answer.value, expected[i].value);
      }
      EXPECT_EQ(taken->answer.code, expected[i].code);
    }
  }

  static Expected Success(EncodableValue value) { return {Answer::Kind::kSuccess, value, ""}; }
  static Expected Frames(int32_t frames) { return Success(FrameReport(frames, false)); }
  static Expected BadArgs() { return {Answer::Kind::kError, EncodableValue(), "bad_args"}; }
  static Expected NotImplemented() { return {Answer::Kind::kNotImplemented, EncodableValue(), ""}; }

 private:
  UINT tag_ = 2000000;
};

TEST_F(RecorderCallQueueTest, AnswersEveryKindOfCallInTheOrderTheyCameWithItsOwnCounts) {
  RecorderCallQueue queue(&recorder(), Limits());
  QueuedCalls calls(&queue);
  const std::vector<uint8_t> damaged = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6};

  calls.Send("appendPng", PngArguments(Png()));  // before any recording
  calls.Send("start", StartArguments("a.mp4"));
  calls.Send("appendPng", PngArguments(Png()));
  calls.Send("appendPng", PngArguments(Png(16, 12)));  // scaled to the first frame's size
  calls.Send("appendPng", PngArguments(damaged));      // dropped alone among decodes ahead
  calls.Send("appendPng", PngArguments(Png()));
  calls.Send("appendPng", EncodableValue(EncodableList{}));
  calls.Send("pause", EncodableValue());
  calls.SendUndecodable();
  calls.Send("stop", EncodableValue());
  calls.Send("appendPng", PngArguments(Png()));  // after the stop: not taken
  calls.Send("stop", EncodableValue());
  calls.Send("start", Map({{EncodableValue("path"), EncodableValue(1)}}));

  ExpectAnswers(calls, {Frames(0), Success(StartAnswer()), Frames(1), Frames(2), Frames(2),
                        Frames(3), BadArgs(), NotImplemented(), NotImplemented(), Frames(3),
                        Frames(3), Frames(3), BadArgs()});
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(writers[0].samples.size(), 3u);
  EXPECT_EQ(writers[0].finalize_results.size(), 1u);
}

TEST_F(RecorderCallQueueTest, StopWaitsForTheFramesQueuedBeforeIt) {
  RecorderCallQueue queue(&recorder(), Limits());
  QueuedCalls calls(&queue);
  calls.Send("start", StartArguments("a.mp4"));
  ASSERT_TRUE(calls.TakeOldest().has_value());
  {
    // The recorder is busy: the frames and the stop wait behind its lock.
    std::unique_ptr<MutexLock> busy = peer().Lock();
    for (int i = 0; i < 4; ++i) {
      calls.Send("appendPng", PngArguments(Png()));
    }
    calls.Send("stop", EncodableValue());
  }
  ExpectAnswers(calls, {Frames(1), Frames(2), Frames(3), Frames(4), Frames(4)});
  EXPECT_EQ(mf::SinkWriters().at(0).samples.size(), 4u);
}

TEST_F(RecorderCallQueueTest, AStartWhileFramesAreQueuedCompletesTheRunningRecordingFirst) {
  RecorderCallQueue queue(&recorder(), Limits());
  QueuedCalls calls(&queue);
  {
    std::unique_ptr<MutexLock> busy = peer().Lock();
    calls.Send("start", StartArguments("first.mp4"));
    calls.Send("appendPng", PngArguments(Png()));
    calls.Send("appendPng", PngArguments(Png()));
    calls.Send("start", StartArguments("second.mp4"));
    calls.Send("appendPng", PngArguments(Png()));
    calls.Send("stop", EncodableValue());
  }
  ExpectAnswers(calls, {Success(StartAnswer()), Frames(1), Frames(2), Success(StartAnswer()),
                        Frames(1), Frames(1)});
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  ASSERT_EQ(writers.size(), 2u);
  EXPECT_EQ(writers[0].url, L"first.mp4");
  EXPECT_EQ(writers[0].samples.size(), 2u);
  EXPECT_EQ(writers[0].finalize_results.size(), 1u);
  EXPECT_EQ(writers[1].samples.size(), 1u);
}

TEST_F(RecorderCallQueueTest, WaitingFramesAreDecodedWhileTheRecorderWritesAnother) {
  RecorderCallQueue queue(&recorder(), Limits(2));
  QueuedCalls calls(&queue);
  calls.Send("start", StartArguments("a.mp4"));
  ASSERT_TRUE(calls.TakeOldest().has_value());
  // Frames are decoded ahead once the queue has seen the recording begin, when "start" has left.
  queue.WaitUntilIdle();
  const int decodesBefore = mf::CallCount(kDecodes);
  {
    // The first frame's call waits for the recorder; the frames behind it are decoded meanwhile,
    // no more than the two threads and the recorder's own call decode at once.
    std::unique_ptr<MutexLock> busy = peer().Lock();
    for (int i = 0; i < 5; ++i) {
      calls.Send("appendPng", PngArguments(Png()));
    }
    EXPECT_TRUE(
        testing_support::WaitFor([&] { return mf::CallCount(kDecodes) - decodesBefore >= 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_LE(mf::CallCount(kDecodes) - decodesBefore, 3);
  }
  ExpectAnswers(calls, {Frames(1), Frames(2), Frames(3), Frames(4), Frames(5)});
  EXPECT_EQ(mf::CallCount(kDecodes) - decodesBefore, 5);
}

TEST_F(RecorderCallQueueTest, AQueueMadeDuringARecordingDecodesAheadFromItsFirstFrame) {
  {
    // The channel registered again while a recording runs: the new queue takes over.
    RecorderCallQueue first(&recorder(), Limits(2));
    QueuedCalls calls(&first);
    calls.Send("start", StartArguments("a.mp4"));
    ASSERT_TRUE(calls.TakeOldest().has_value());
  }
  RecorderCallQueue queue(&recorder(), Limits(2));
  QueuedCalls calls(&queue);
  const int decodesBefore = mf::CallCount(kDecodes);
  {
    std::unique_ptr<MutexLock> busy = peer().Lock();
    for (int i = 0; i < 3; ++i) {
      calls.Send("appendPng", PngArguments(Png()));
    }
    EXPECT_TRUE(
        testing_support::WaitFor([&] { return mf::CallCount(kDecodes) - decodesBefore == 3; }));
  }
  ExpectAnswers(calls, {Frames(1), Frames(2), Frames(3)});
}

TEST_F(RecorderCallQueueTest, DecodingAheadKeepsWithinItsMemory) {
  RecorderCallQueue::Limits limits = Limits(3);
  limits.maxDecodedBytes = 1;  // one frame at a time, whatever its size
  RecorderCallQueue queue(&recorder(), limits);
  QueuedCalls calls(&queue);
  calls.Send("start", StartArguments("a.mp4"));
  calls.Send("appendPng", PngArguments(Png()));
  ASSERT_TRUE(calls.TakeOldest().has_value());
  ASSERT_TRUE(calls.TakeOldest().has_value());
  // The first frame's pixels count against the limit until its call has left the queue.
  queue.WaitUntilIdle();
  const int decodesBefore = mf::CallCount(kDecodes);
  {
    std::unique_ptr<MutexLock> busy = peer().Lock();
    for (int i = 0; i < 4; ++i) {
      calls.Send("appendPng", PngArguments(Png()));
    }
    EXPECT_TRUE(
        testing_support::WaitFor([&] { return mf::CallCount(kDecodes) - decodesBefore == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(mf::CallCount(kDecodes) - decodesBefore, 1);
  }
  ExpectAnswers(calls, {Frames(2), Frames(3), Frames(4), Frames(5)});
}

TEST_F(RecorderCallQueueTest, AFullQueueMakesTheSenderWaitAndLosesNothing) {
  const struct {
    const char* name;
    size_t maxCalls;
    size_t maxMessageBytes;
    size_t messageBytes;
  } cases[] = {
      {"too many calls", 2, size_t{1} << 30, 10},
      {"too many bytes", 100, 1000, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderCallQueue::Limits limits = Limits();
    limits.maxCalls = c.maxCalls;
    limits.maxMessageBytes = c.maxMessageBytes;
    RecorderCallQueue queue(&recorder(), limits);
    std::vector<Answer> answers(3);
    std::atomic<int> submitted{0};
    std::thread sender;
    {
      std::unique_ptr<MutexLock> busy = peer().Lock();
      sender = std::thread([&] {
        for (Answer& answer : answers) {
          queue.Submit(std::make_unique<flutter::MethodCall>("stop", nullptr),
                       std::make_unique<testing_support::RecordingResult>(&answer), 0,
                       c.messageBytes);
          ++submitted;
        }
      });
      // The first call runs (and waits for the recorder); the second fills the queue.
      ASSERT_TRUE(testing_support::WaitFor([&] { return submitted.load() == 2; }));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(submitted.load(), 2);
    }
    sender.join();
    queue.WaitUntilIdle();
    for (const Answer& answer : answers) {
      EXPECT_EQ(answer.answers, 1);
      EXPECT_EQ(answer.value, FrameReport(0, false));
    }
  }
}

TEST_F(RecorderCallQueueTest, ALargerMessageThanTheLimitIsTakenOnceTheQueueIsEmpty) {
  RecorderCallQueue::Limits limits = Limits();
  limits.maxMessageBytes = 100;
  RecorderCallQueue queue(&recorder(), limits);
  Answer answer;
  queue.Submit(std::make_unique<flutter::MethodCall>("stop", nullptr),
               std::make_unique<testing_support::RecordingResult>(&answer), 0, 1000);
  queue.WaitUntilIdle();
  EXPECT_EQ(answer.answers, 1);
}

TEST_F(RecorderCallQueueTest, DestroyingTheQueueAnswersEveryCallItTook) {
  std::vector<Answer> answers(4);
  {
    RecorderCallQueue queue(&recorder(), Limits());
    std::unique_ptr<MutexLock> busy = peer().Lock();
    const char* methods[] = {"start", "appendPng", "appendPng", "stop"};
    const EncodableValue arguments[] = {StartArguments("a.mp4"), PngArguments(Png()),
                                        PngArguments(Png()), EncodableValue()};
    for (size_t i = 0; i < answers.size(); ++i) {
      queue.Submit(std::make_unique<flutter::MethodCall>(
                       methods[i], std::make_unique<EncodableValue>(arguments[i])),
                   std::make_unique<testing_support::RecordingResult>(&answers[i]), 0, 0);
    }
    busy.reset();
  }
  EXPECT_EQ(answers[2].value, FrameReport(2, false));
  EXPECT_EQ(answers[3].value, FrameReport(2, false));
  EXPECT_EQ(mf::SinkWriters().at(0).finalize_results.size(), 1u);
}

// Thousands of calls of every kind, several in flight, each answered as a model of the recorder
// says it must be: "frames" grows by one for each usable frame of a running recording, "start"
// begins again at zero and "stop" repeats the count.
TEST_F(RecorderCallQueueTest, ThousandsOfMixedCallsInFlightAreAnsweredInOrderAsTheModelSays) {
  constexpr int kCalls = 3000;
  constexpr size_t kInFlight = 4;
  RecorderCallQueue::Limits limits = Limits(3);
  limits.maxCalls = kInFlight;
  RecorderCallQueue queue(&recorder(), limits);
  QueuedCalls calls(&queue);
  const std::vector<std::vector<uint8_t>> usable = {Png(8, 6), Png(4, 2), Png(10, 10)};
  const std::vector<uint8_t> unusable = mf::PngLikeBytes(77);
  std::mt19937 random(20261207);

  bool recording = false;
  int32_t frames = 0;
  int recordings = 0;
  std::deque<Expected> owed;
  int compared = 0;
  auto takeOldest = [&] {
    const std::optional<QueuedCalls::Taken> taken = calls.TakeOldest();
    ASSERT_TRUE(taken.has_value());
    const Expected expected = owed.front();
    owed.pop_front();
    ASSERT_EQ(taken->answer.kind, expected.kind) << "call " << compared;
    ASSERT_EQ(taken->answer.value, expected.value) << "call " << compared;
    ++compared;
  };
  for (int i = 0; i < kCalls; ++i) {
    const unsigned roll = random() % 100;
    if (roll < 4) {
      calls.Send("start", StartArguments("take-" + std::to_string(recordings++) + ".mp4"));
      recording = true;
      frames = 0;
      owed.push_back(Success(StartAnswer()));
    } else if (roll < 8) {
      calls.Send("stop", EncodableValue());
      recording = false;
      owed.push_back(Frames(frames));
    } else if (roll < 15) {
      calls.Send("appendPng", PngArguments(unusable));
      owed.push_back(Frames(frames));
    } else {
      calls.Send("appendPng", PngArguments(usable[random() % usable.size()]));
      frames += recording ? 1 : 0;
      owed.push_back(Frames(frames));
    }
    while (calls.InFlight() > kInFlight) {
      takeOldest();
    }
  }
  while (calls.InFlight() > 0) {
    takeOldest();
  }
  calls.Send("stop", EncodableValue());
  owed.push_back(Frames(frames));
  takeOldest();
  EXPECT_EQ(compared, kCalls + 1);
}

}  // namespace
}  // namespace halvex
