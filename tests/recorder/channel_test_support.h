// Calling the recorder channel's handler directly and reading its one answer.
#ifndef HALVEX_TESTS_RECORDER_CHANNEL_TEST_SUPPORT_H_
#define HALVEX_TESTS_RECORDER_CHANNEL_TEST_SUPPORT_H_

#include <memory>
#include <string>
#include <utility>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "recorder/recorder_channel.h"

namespace halvex::testing_support {

struct Answer {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  flutter::EncodableValue value;  // the success value
  std::string code;
  std::string message;
  bool hasDetails = false;
  int answers = 0;  // every outcome counts, so a second answer shows
};

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(Answer* answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const flutter::EncodableValue* result) override {
    ++answer_->answers;
    answer_->kind = Answer::Kind::kSuccess;
    answer_->value = result == nullptr ? flutter::EncodableValue() : *result;
  }
  void ErrorInternal(const std::string& code,
                     const std::string& message,
                     const flutter::EncodableValue* details) override {
    ++answer_->answers;
    answer_->kind = Answer::Kind::kError;
    answer_->code = code;
    answer_->message = message;
    answer_->hasDetails = details != nullptr && !details->IsNull();
  }
  void NotImplementedInternal() override {
    ++answer_->answers;
    answer_->kind = Answer::Kind::kNotImplemented;
  }

 private:
  Answer* answer_;
};

inline Answer CallRecorder(const std::string& method, flutter::EncodableValue arguments) {
  Answer answer;
  const flutter::MethodCall call(
      method, arguments.IsNull() ? nullptr
                                 : std::make_unique<flutter::EncodableValue>(std::move(arguments)));
  RecorderChannel(call, std::make_unique<RecordingResult>(&answer));
  return answer;
}

inline flutter::EncodableValue FrameReport(int32_t frames, bool hasAudio) {
  return flutter::EncodableValue(flutter::EncodableMap{
      {flutter::EncodableValue("frames"), flutter::EncodableValue(frames)},
      {flutter::EncodableValue("hasAudio"), flutter::EncodableValue(hasAudio)}});
}

}  // namespace halvex::testing_support

#endif  // HALVEX_TESTS_RECORDER_CHANNEL_TEST_SUPPORT_H_
