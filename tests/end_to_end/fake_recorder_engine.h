// A stand-in for the engine and the host's recorder, behind the application interface: it decodes
// each call the demo sends and answers it as the recorder would, or as a test scripts it.
#ifndef HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_
#define HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/encodable_value.h"
#include "platform/engine/halvex_app.h"

namespace halvex {
namespace demo {
namespace testing {

struct RecordedCall {
  std::string channel;
  std::string method;  // empty when the message was not a method call
  flutter::EncodableValue arguments;
  // Calls whose answers the application had not taken when this one was made, this one included.
  int in_flight = 1;
};

// How one call is answered when the test overrides the recorder's answer.
struct ScriptedAnswer {
  enum class Kind { kErrorEnvelope, kEmptyReply, kNoAnswer, kRawBytes, kSuccessValue };
  Kind kind = Kind::kEmptyReply;
  std::string error_code;
  std::string error_message;
  std::vector<uint8_t> raw_bytes;
  flutter::EncodableValue success_value;
};

class FakeRecorderEngine {
 public:
  enum class Answering {
    // Inside the call that sends the message.
    kAtOnce,
    // On a thread of the fake's own, in call order, and only while the application waits for an
    // answer: whatever relies on an answer being there without waiting for it finds none.
    kLaterOnAnotherThread,
  };

  explicit FakeRecorderEngine(Answering answering = Answering::kAtOnce);
  ~FakeRecorderEngine();
  FakeRecorderEngine(const FakeRecorderEngine&) = delete;
  FakeRecorderEngine& operator=(const FakeRecorderEngine&) = delete;

  // The record handed to the application; it points back at this object.
  const HalvexEngineServices* services() const { return &services_; }

  // Hands over the record as it was before post_message and await_reply, as an older engine
  // does. The functions stay filled in, so a reader that ignores the size is caught by posts().
  void OfferOnlySending();
  // Hands over the record as it was before present_frame, posting included. present_frame stays
  // filled in, so a reader that ignores the size is caught by presents().
  void OfferWithoutPresenting();

  // Whether "appendPng" with bytes that start with the PNG signature counts as written, as with a
  // real decoder. When false the recorder answers success and leaves the count unchanged.
  void set_counts_frames(bool counts) { counts_frames_ = counts; }
  // Answers the `occurrence`-th call (from 1) of `method` with `answer` instead.
  void Script(const std::string& method, int occurrence, ScriptedAnswer answer);

  // Read once the application is done with the engine.
  const std::vector<RecordedCall>& calls() const { return calls_; }
  std::vector<std::string> Methods() const;
  // The most calls in flight at once, and how many messages were posted rather than sent.
  int most_in_flight() const;
  int posts() const { return posts_; }
  int frames_drawn() const { return frames_drawn_; }
  // Pictures handed to present_frame, and the last one as its bytes (rows packed, width * 4 each).
  int presents() const { return presents_; }
  const std::vector<uint8_t>& last_presented() const { return last_presented_; }
  int32_t last_presented_width() const { return last_presented_width_; }
  int32_t frames_written() const { return frames_written_; }

 private:
  struct Override {
    std::string method;
    int occurrence;
    ScriptedAnswer answer;
  };
  struct Queued {
    uint64_t ticket;
    std::string channel;
    std::vector<uint8_t> message;
    int in_flight;
  };
  using Answer = std::optional<std::vector<uint8_t>>;  // nullopt: no answer

  static int SendMessage(void* engine,
                         const char* channel,
                         const uint8_t* message,
                         size_t message_size,
                         const uint8_t** reply,
                         size_t* reply_size);
  static uint64_t PostToHost(void* engine,
                             const char* channel,
                             const uint8_t* message,
                             size_t message_size);
  static int AwaitFromHost(void* engine,
                           uint64_t ticket,
                           const uint8_t** reply,
                           size_t* reply_size);
  static void FrameDrawn(void* engine);
  static int PresentFrame(void* engine,
                          const uint8_t* pixels,
                          int32_t width,
                          int32_t height,
                          size_t stride);

  // Queues the message, or answers it at once, and returns its ticket.
  uint64_t Queue(const char* channel, const uint8_t* message, size_t message_size);
  // Hands the answer of `ticket` to the application's reply slots; 0 when there is none.
  int Await(uint64_t ticket, const uint8_t** reply, size_t* reply_size);
  void AnswerInCallOrder();

  // Records the call and makes its answer. Callers hold lock_.
  Answer AnswerCall(const std::string& channel,
                    const uint8_t* message,
                    size_t message_size,
                    int in_flight);
  std::vector<uint8_t> RecorderAnswer(const std::string& method,
                                      const flutter::EncodableValue& arguments);

  HalvexEngineServices services_;
  const Answering answering_;
  bool counts_frames_ = true;
  std::vector<Override> overrides_;

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<RecordedCall> calls_;
  std::deque<Queued> queued_;         // posted, not yet answered, in call order
  std::map<uint64_t, Answer> ready_;  // answered, not yet taken by the application
  uint64_t next_ticket_ = 1;
  uint64_t wanted_ticket_ = 0;  // the ticket the application waits for, 0 when none
  int outstanding_ = 0;         // posted and not yet taken
  int posts_ = 0;
  bool stopping_ = false;
  std::vector<uint8_t> handed_reply_;  // what the application's reply slots point to
  int frames_drawn_ = 0;
  int presents_ = 0;
  std::vector<uint8_t> last_presented_;
  int32_t last_presented_width_ = 0;
  bool recording_ = false;
  bool audio_enabled_ = false;
  int32_t frames_written_ = 0;
  std::thread answerer_;  // last: started once everything above exists
};

}  // namespace testing
}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_
