// Keeps several calls in flight on a recorder call queue, as an application that does not wait
// for each answer, and takes their answers in the order the calls were sent.
#ifndef HALVEX_TESTS_RECORDER_QUEUED_CALLS_H_
#define HALVEX_TESTS_RECORDER_QUEUED_CALLS_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "recorder/capture_clock.h"
#include "recorder/recorder_call_queue.h"
#include "tests/recorder/channel_test_support.h"

namespace halvex::testing_support {

class QueuedCalls {
 public:
  struct Taken {
    Answer answer;
    bool onAnotherThread = false;  // answered on a thread other than the sender's
  };

  explicit QueuedCalls(RecorderCallQueue* queue) : queue_(queue) {}

  // Sends one call; waits only while the queue is full. A null `arguments` sends none.
  void Send(const std::string& method, flutter::EncodableValue arguments) {
    auto slot = std::make_shared<Slot>();
    auto call = std::make_unique<flutter::MethodCall>(
        method, arguments.IsNull()
                    ? nullptr
                    : std::make_unique<flutter::EncodableValue>(std::move(arguments)));
    sent_.push_back(slot);
    queue_->Submit(std::move(call), std::make_unique<SignallingResult>(slot), CaptureClockNow(), 0);
  }

  // Sends bytes that are not a method call.
  void SendUndecodable() {
    auto slot = std::make_shared<Slot>();
    sent_.push_back(slot);
    queue_->Submit(nullptr, std::make_unique<SignallingResult>(slot), CaptureClockNow(), 0);
  }

  size_t InFlight() const { return sent_.size(); }

  // The answer of the oldest call not taken yet, once it came; nothing after `timeout`.
  std::optional<Taken> TakeOldest(std::chrono::seconds timeout = std::chrono::seconds(60)) {
    if (sent_.empty()) {
      return std::nullopt;
    }
    std::shared_ptr<Slot> slot = sent_.front();
    sent_.pop_front();
    std::unique_lock<std::mutex> lock(slot->mutex);
    if (!slot->answered.wait_for(lock, timeout, [&] { return slot->answer.answers > 0; })) {
      return std::nullopt;
    }
    return Taken{slot->answer, slot->thread != std::this_thread::get_id()};
  }

 private:
  struct Slot {
    std::mutex mutex;
    std::condition_variable answered;
    Answer answer;
    std::thread::id thread;
  };

  // Records the answer as RecordingResult does, then wakes whoever waits for it.
  class SignallingResult : public flutter::MethodResult {
   public:
    explicit SignallingResult(std::shared_ptr<Slot> slot) : slot_(std::move(slot)) {}

   protected:
    void SuccessInternal(const flutter::EncodableValue* result) override {
      Record([&](Answer& answer) {
        answer.kind = Answer::Kind::kSuccess;
        answer.value = result == nullptr ? flutter::EncodableValue() : *result;
      });
    }
    void ErrorInternal(const std::string& code,
                       const std::string& message,
                       const flutter::EncodableValue* details) override {
      Record([&](Answer& answer) {
        answer.kind = Answer::Kind::kError;
        answer.code = code;
        answer.message = message;
        answer.hasDetails = details != nullptr && !details->IsNull();
      });
    }
    void NotImplementedInternal() override {
      Record([](Answer& answer) { answer.kind = Answer::Kind::kNotImplemented; });
    }

   private:
    template <typename Fill>
    void Record(Fill fill) {
      {
        std::lock_guard<std::mutex> lock(slot_->mutex);
        fill(slot_->answer);
        ++slot_->answer.answers;
        slot_->thread = std::this_thread::get_id();
      }
      slot_->answered.notify_all();
    }

    std::shared_ptr<Slot> slot_;
  };

  RecorderCallQueue* queue_;
  std::deque<std::shared_ptr<Slot>> sent_;
};

}  // namespace halvex::testing_support

#endif  // HALVEX_TESTS_RECORDER_QUEUED_CALLS_H_
