// A stand-in for the engine and the host's recorder, behind the application interface: it decodes
// each call the demo sends and answers it as the recorder would, or as a test scripts it.
#ifndef HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_
#define HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_

#include <cstdint>
#include <optional>
#include <string>
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
  FakeRecorderEngine();

  // The record handed to the application; it points back at this object.
  const HalvexEngineServices* services() const { return &services_; }

  // Whether "appendPng" with bytes that start with the PNG signature counts as written, as with a
  // real decoder. When false the recorder answers success and leaves the count unchanged.
  void set_counts_frames(bool counts) { counts_frames_ = counts; }
  // Answers the `occurrence`-th call (from 1) of `method` with `answer` instead.
  void Script(const std::string& method, int occurrence, ScriptedAnswer answer);

  const std::vector<RecordedCall>& calls() const { return calls_; }
  std::vector<std::string> Methods() const;
  int frames_drawn() const { return frames_drawn_; }
  int32_t frames_written() const { return frames_written_; }

 private:
  struct Override {
    std::string method;
    int occurrence;
    ScriptedAnswer answer;
  };

  static int SendMessage(void* engine,
                         const char* channel,
                         const uint8_t* message,
                         size_t message_size,
                         const uint8_t** reply,
                         size_t* reply_size);
  static void FrameDrawn(void* engine);

  // Returns false for "no answer".
  bool Answer(const std::string& channel, const uint8_t* message, size_t message_size);
  std::vector<uint8_t> RecorderAnswer(const std::string& method,
                                      const flutter::EncodableValue& arguments);

  HalvexEngineServices services_;
  bool counts_frames_ = true;
  std::vector<Override> overrides_;
  std::vector<RecordedCall> calls_;
  std::vector<uint8_t> reply_;
  int frames_drawn_ = 0;
  bool recording_ = false;
  bool audio_enabled_ = false;
  int32_t frames_written_ = 0;
};

}  // namespace testing
}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_TESTS_END_TO_END_FAKE_RECORDER_ENGINE_H_
