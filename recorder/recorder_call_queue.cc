#include "recorder/recorder_call_queue.h"

#include <windows.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "recorder/desktop_recorder.h"
#include "recorder/recorder_calls.h"

namespace halvex {
namespace {

// Gives a written frame's memory back to the queue before its answer goes, so that a frame the
// application sends on that answer decodes into the same memory instead of new memory.
class FrameReturningResult : public flutter::MethodResult {
 public:
  FrameReturningResult(flutter::MethodResult* answer, std::function<void()> returnFrame)
      : answer_(answer), returnFrame_(std::move(returnFrame)) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* result) override {
    returnFrame_();
    if (result != nullptr) {
      answer_->Success(*result);
    } else {
      answer_->Success();
    }
  }
  void ErrorInternal(const std::string& code,
                     const std::string& message,
                     const flutter::EncodableValue* details) override {
    returnFrame_();
    if (details != nullptr) {
      answer_->Error(code, message, *details);
    } else {
      answer_->Error(code, message);
    }
  }
  void NotImplementedInternal() override {
    returnFrame_();
    answer_->NotImplemented();
  }

 private:
  flutter::MethodResult* const answer_;
  const std::function<void()> returnFrame_;
};

// The queue's threads do the recorder's background work: below the platform thread, so that a
// core busy decoding or encoding never keeps the window from its input and painting. Left at
// normal priority if the system refuses.
void RunBelowNormalPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace

struct RecorderCallQueue::QueuedCall {
  enum class Decoding {
    kNone,     // not begun; the call may still be decoded ahead
    kRunning,  // a decoding thread is at it
    kDone,     // `frame` holds the result, usable or not
    kInCall,   // the call decodes its PNG itself when it runs
    kReturned  // was kDone; the frame has been written and its memory given back to the queue
  };

  // Set before the call is queued and left alone until it leaves the queue; `decoding` changes
  // only under the queue's lock, and `frame` belongs to whoever set `decoding` to kRunning until
  // it is kDone.
  std::unique_ptr<flutter::MethodCall> call;
  std::unique_ptr<flutter::MethodResult> result;
  int64_t arrivalTime = 0;
  size_t messageBytes = 0;
  // The PNG of an "appendPng" call, inside `call`; null for any other call.
  const std::vector<uint8_t>* png = nullptr;
  Decoding decoding = Decoding::kNone;
  DecodedFrame frame;
};

RecorderCallQueue::Limits RecorderCallQueue::LimitsForThisMachine() {
  Limits limits;
  const unsigned processors = std::thread::hardware_concurrency();
  limits.decodeThreads = static_cast<int>(std::clamp(processors, 1u, 4u));
  return limits;
}

RecorderCallQueue::RecorderCallQueue(DesktopRecorder* recorder, const Limits& limits)
    : recorder_(recorder), limits_(limits) {
  // A queue made while a recording runs decodes its frames ahead from the first.
  const bool recording = recorder_->IsRecording();
  {
    MutexLock lock(&mutex_);
    recording_ = recording;
    for (int i = 0; i < limits_.decodeThreads; ++i) {
      decoderWakes_.push_back(std::make_unique<WakeUp>());
    }
  }
  // Whatever cannot be started leaves the queue working with what it has: without decoding
  // threads every call decodes its own PNG, and without the recorder thread calls run at once.
  try {
    recorderThread_ = std::thread(&RecorderCallQueue::RunCalls, this);
    for (size_t i = 0; i < static_cast<size_t>(limits_.decodeThreads); ++i) {
      decodeThreads_.emplace_back(&RecorderCallQueue::DecodeAhead, this, i);
    }
  } catch (const std::system_error&) {
  }
}

RecorderCallQueue::~RecorderCallQueue() {
  WaitUntilIdle();
  {
    MutexLock lock(&mutex_);
    ending_ = true;
    recorderWake_.Wake();
    for (const std::unique_ptr<WakeUp>& wake : decoderWakes_) {
      wake->Wake();
    }
  }
  if (recorderThread_.joinable()) {
    recorderThread_.join();
  }
  for (std::thread& thread : decodeThreads_) {
    thread.join();
  }
}

void RecorderCallQueue::Submit(std::unique_ptr<flutter::MethodCall> call,
                               std::unique_ptr<flutter::MethodResult> result,
                               int64_t arrivalTime,
                               size_t messageBytes) {
  auto queued = std::make_unique<QueuedCall>();
  queued->png = call ? AppendedPng(*call) : nullptr;
  queued->call = std::move(call);
  queued->result = std::move(result);
  queued->arrivalTime = arrivalTime;
  queued->messageBytes = messageBytes;
  if (!recorderThread_.joinable()) {
    Run(*queued);
    return;
  }
  {
    MutexLock lock(&mutex_);
    lock.Wait(&callFinished_, [this, messageBytes]() REQUIRES(mutex_) {
      return calls_.empty() || (calls_.size() < limits_.maxCalls &&
                                messageBytes_ + messageBytes <= limits_.maxMessageBytes);
    });
    messageBytes_ += messageBytes;
    calls_.push_back(std::move(queued));
    recorderWake_.Wake();
    WakeADecoder();
  }
}

void RecorderCallQueue::WaitUntilIdle() {
  MutexLock lock(&mutex_);
  lock.Wait(&callFinished_, [this]() REQUIRES(mutex_) { return calls_.empty(); });
}

// The recorder's own calls set up COM (a multithreaded apartment) on this thread when they first
// need it.
void RecorderCallQueue::RunCalls() {
  RunBelowNormalPriority();
  for (;;) {
    QueuedCall* next = nullptr;
    {
      MutexLock lock(&mutex_);
      recorderWake_.WaitUntil(lock,
                              [this]() REQUIRES(mutex_) { return !calls_.empty() || ending_; });
      if (calls_.empty()) {
        return;
      }
      next = calls_.front().get();
      // A frame of the running recording that no decoding thread has begun is decoded here into
      // the frames' shared memory; any other is decoded by the call itself, as it would be
      // without the queue. One being decoded is waited for.
      if (next->decoding == QueuedCall::Decoding::kNone) {
        if (recording_ && next->png != nullptr) {
          const size_t expected = ClaimForDecoding(next);
          lock.Unlock();
          DecodeClaimed(next);
          lock.Lock();
          FinishDecoding(next, expected);
        } else {
          next->decoding = QueuedCall::Decoding::kInCall;
        }
      }
      recorderWake_.WaitUntil(lock, [next]() REQUIRES(mutex_) {
        return next->decoding != QueuedCall::Decoding::kRunning;
      });
    }
    Run(*next);
    const bool recording = recorder_->IsRecording();
    {
      MutexLock lock(&mutex_);
      ReturnFrame(*next);
      // Pixel memory kept for frames is of no use until the next recording.
      if (!recording) {
        spareFrames_.clear();
      }
      recording_ = recording;
      messageBytes_ -= next->messageBytes;
      calls_.pop_front();
      // The window of frames to decode ahead moved, and memory may have been freed.
      WakeADecoder();
    }
    callFinished_.notify_all();
  }
}

void RecorderCallQueue::Run(QueuedCall& queued) {
  if (!queued.result) {
    return;
  }
  if (!queued.call) {
    queued.result->NotImplemented();
    return;
  }
  RecorderCallContext context;
  context.arrivalTime = queued.arrivalTime;
  flutter::MethodResult* result = queued.result.get();
  std::optional<FrameReturningResult> returning;
  if (queued.decoding == QueuedCall::Decoding::kDone) {
    context.decodedFrame = &queued.frame;
    returning.emplace(result, [this, &queued] {
      MutexLock lock(&mutex_);
      ReturnFrame(queued);
    });
    result = &*returning;
  }
  // Nothing may leave the thread: a call that fails this way is answered by the result's owner
  // with a diagnostic, and the calls after it still run.
  try {
    RunRecorderCall(*recorder_, *queued.call, *result, context);
  } catch (const std::exception&) {
  }
}

void RecorderCallQueue::ReturnFrame(QueuedCall& queued) {
  if (queued.decoding != QueuedCall::Decoding::kDone) {
    return;
  }
  queued.decoding = QueuedCall::Decoding::kReturned;
  decodedBytes_ -= queued.frame.capacity;
  --framesAhead_;
  KeepSpareFrame(std::move(queued.frame));
  WakeADecoder();
}

RecorderCallQueue::QueuedCall* RecorderCallQueue::NextToDecode() {
  if (!recording_ || ending_) {
    return nullptr;
  }
  const size_t window = std::min(calls_.size(), static_cast<size_t>(limits_.decodeThreads) + 1);
  for (size_t i = 0; i < window; ++i) {
    QueuedCall& queued = *calls_[i];
    // Only frames of the running recording: a call of another kind may end it.
    if (queued.png == nullptr) {
      return nullptr;
    }
    if (queued.decoding == QueuedCall::Decoding::kNone) {
      // Until a frame's size is known, one frame at a time.
      const bool fits = framesAhead_ == 0 ||
                        (frameBytes_ > 0 && decodedBytes_ + frameBytes_ <= limits_.maxDecodedBytes);
      return fits ? &queued : nullptr;
    }
  }
  return nullptr;
}

void RecorderCallQueue::WakeADecoder() {
  if (NextToDecode() == nullptr) {
    return;
  }
  // One is enough: it wakes the next when it has taken its frame and another frame waits.
  for (const std::unique_ptr<WakeUp>& wake : decoderWakes_) {
    if (wake->Wake()) {
      return;
    }
  }
}

void RecorderCallQueue::DecodeAhead(size_t index) {
  RunBelowNormalPriority();
  MutexLock lock(&mutex_);
  WakeUp& wake = *decoderWakes_[index];
  for (;;) {
    QueuedCall* queued = nullptr;
    wake.WaitUntil(lock, [this, &queued]() REQUIRES(mutex_) {
      queued = NextToDecode();
      return queued != nullptr || ending_;
    });
    if (queued == nullptr) {
      return;
    }
    const size_t expected = ClaimForDecoding(queued);
    lock.Unlock();
    DecodeClaimed(queued);
    lock.Lock();
    FinishDecoding(queued, expected);
  }
}

size_t RecorderCallQueue::ClaimForDecoding(QueuedCall* queued) {
  queued->decoding = QueuedCall::Decoding::kRunning;
  queued->frame = TakeSpareFrame();
  // Counted before decoding, so that the other threads keep within the limit meanwhile.
  const size_t expected = std::max(queued->frame.capacity, frameBytes_);
  decodedBytes_ += expected;
  ++framesAhead_;
  WakeADecoder();
  return expected;
}

void RecorderCallQueue::DecodeClaimed(QueuedCall* queued) {
  DesktopRecorder::EnsureComInitialized();
  DecodePngFrame(queued->png->data(), queued->png->size(), &queued->frame);
}

void RecorderCallQueue::FinishDecoding(QueuedCall* queued, size_t expected) {
  decodedBytes_ = decodedBytes_ - expected + queued->frame.capacity;
  if (queued->frame.usable()) {
    frameBytes_ = static_cast<size_t>(queued->frame.width) * queued->frame.height * 4;
  }
  queued->decoding = QueuedCall::Decoding::kDone;
  recorderWake_.Wake();
  WakeADecoder();
}

DecodedFrame RecorderCallQueue::TakeSpareFrame() {
  if (spareFrames_.empty()) {
    return DecodedFrame();
  }
  DecodedFrame frame = std::move(spareFrames_.back());
  spareFrames_.pop_back();
  return frame;
}

void RecorderCallQueue::KeepSpareFrame(DecodedFrame frame) {
  // As many as may be decoded at once, each no larger than a frame worth keeping.
  if (frame.pixels && frame.capacity <= kMaxKeptPixelBytes &&
      spareFrames_.size() < static_cast<size_t>(limits_.decodeThreads)) {
    frame.Clear();
    spareFrames_.push_back(std::move(frame));
  }
}

}  // namespace halvex
