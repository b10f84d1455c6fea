#include "app/recorder_client.h"

#include <exception>
#include <limits>
#include <utility>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"

namespace halvex {
namespace demo {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Keeps whatever outcome the codec reports for a reply envelope.
class AnswerCapture : public flutter::MethodResult {
 public:
  explicit AnswerCapture(ChannelAnswer* answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    answer_->kind = ChannelAnswer::Kind::kSuccess;
    answer_->result = result != nullptr ? *result : EncodableValue();
  }
  void ErrorInternal(const std::string& code,
                     const std::string& message,
                     const EncodableValue* details) override {
    answer_->kind = ChannelAnswer::Kind::kError;
    answer_->error_code = code;
    answer_->error_message = message;
    answer_->error_has_details = details != nullptr && !details->IsNull();
  }
  void NotImplementedInternal() override { answer_->kind = ChannelAnswer::Kind::kNotImplemented; }

 private:
  ChannelAnswer* answer_;
};

std::string Quoted(const std::string& method) {
  return "\"" + method + "\"";
}

const EncodableMap* ResultMap(const ChannelAnswer& answer) {
  return std::get_if<EncodableMap>(&answer.result);
}

bool ReadBool(const EncodableMap& map, const char* key, bool* value) {
  const EncodableValue* found = flutter::LookupTextKey(map, key);
  const bool* flag = found != nullptr ? std::get_if<bool>(found) : nullptr;
  if (flag == nullptr) {
    return false;
  }
  *value = *flag;
  return true;
}

bool ReadCount(const EncodableMap& map, const char* key, int32_t* value) {
  const EncodableValue* found = flutter::LookupTextKey(map, key);
  if (found == nullptr) {
    return false;
  }
  if (const int32_t* small = std::get_if<int32_t>(found)) {
    *value = *small;
    return true;
  }
  if (const int64_t* large = std::get_if<int64_t>(found)) {
    if (*large < std::numeric_limits<int32_t>::min() ||
        *large > std::numeric_limits<int32_t>::max()) {
      return false;
    }
    *value = static_cast<int32_t>(*large);
    return true;
  }
  return false;
}

std::vector<uint8_t> EncodedCall(const std::string& method,
                                 std::unique_ptr<EncodableValue> arguments) {
  const flutter::MethodCall call(method, std::move(arguments));
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
}

std::unique_ptr<EncodableValue> AppendPngArguments(std::vector<uint8_t> png) {
  return std::make_unique<EncodableValue>(EncodableMap{
      {EncodableValue("bytes"), EncodableValue(std::move(png))},
  });
}

}  // namespace

RecorderClient::RecorderClient(EngineServices* engine, bool post_appends)
    : engine_(engine), post_appends_(post_appends && engine->CanPost()) {}

ChannelAnswer RecorderClient::Call(const std::string& method,
                                   std::unique_ptr<EncodableValue> arguments) {
  std::vector<uint8_t> reply;
  const bool answered =
      engine_->Send(kRecorderChannel, EncodedCall(method, std::move(arguments)), &reply);
  return Interpret(answered, reply);
}

ChannelAnswer RecorderClient::Interpret(bool answered, const std::vector<uint8_t>& reply) {
  ChannelAnswer answer;
  if (!answered) {
    // The engine does not come back: nothing later will be answered either.
    engine_gone_ = true;
    answer.kind = ChannelAnswer::Kind::kNoAnswer;
    return answer;
  }
  answer.reply_size = reply.size();
  if (reply.empty()) {
    answer.kind = ChannelAnswer::Kind::kNotImplemented;
    return answer;
  }
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::GetInstance();
  answer.kind = ChannelAnswer::Kind::kUnreadable;
  AnswerCapture capture(&answer);
  try {
    if (!codec.DecodeAndProcessResponseEnvelope(reply.data(), reply.size(), &capture)) {
      answer.kind = ChannelAnswer::Kind::kUnreadable;
    }
  } catch (const std::exception&) {
    // An error envelope whose code or message has the wrong type is refused by strict access.
    answer = ChannelAnswer();
    answer.kind = ChannelAnswer::Kind::kUnreadable;
    answer.reply_size = reply.size();
  }
  return answer;
}

bool RecorderClient::CheckSuccess(const std::string& method,
                                  const ChannelAnswer& answer,
                                  std::string* failure) {
  switch (answer.kind) {
    case ChannelAnswer::Kind::kSuccess:
      return true;
    case ChannelAnswer::Kind::kError:
      *failure = Quoted(method) + " was answered with the error " + answer.error_code +
                 (answer.error_message.empty() ? "" : ": " + answer.error_message) +
                 (answer.error_has_details ? " (with details)" : "");
      return false;
    case ChannelAnswer::Kind::kNotImplemented:
      *failure = Quoted(method) + " got an empty answer: nothing on " + kRecorderChannel +
                 " implements it";
      return false;
    case ChannelAnswer::Kind::kNoAnswer:
      *failure = Quoted(method) + " got no answer: the engine is shutting down";
      return false;
    case ChannelAnswer::Kind::kUnreadable:
      *failure = Quoted(method) + " got an answer that is not a reply envelope (" +
                 std::to_string(answer.reply_size) + " bytes)";
      return false;
  }
  *failure = Quoted(method) + " got an answer of an unknown kind";
  return false;
}

bool RecorderClient::Start(const std::string& path,
                           double fps,
                           bool enable_audio,
                           StartReply* reply,
                           std::string* failure) {
  auto arguments = std::make_unique<EncodableValue>(EncodableMap{
      {EncodableValue("path"), EncodableValue(path)},
      {EncodableValue("fps"), EncodableValue(fps)},
      {EncodableValue("enableAudio"), EncodableValue(enable_audio)},
  });
  const ChannelAnswer answer = Call("start", std::move(arguments));
  if (!CheckSuccess("start", answer, failure)) {
    return false;
  }
  const EncodableMap* map = ResultMap(answer);
  if (map == nullptr || !ReadBool(*map, "hasAudioTrack", &reply->has_audio_track)) {
    *failure = "\"start\" succeeded without the boolean \"hasAudioTrack\" in its result";
    return false;
  }
  return true;
}

bool RecorderClient::AppendPng(std::vector<uint8_t> png, FramesReply* reply, std::string* failure) {
  return ReadFramesReply("appendPng", Call("appendPng", AppendPngArguments(std::move(png))), reply,
                         failure);
}

void RecorderClient::BeginAppendPng(std::vector<uint8_t> png) {
  InFlight call;
  if (post_appends_) {
    call.ticket = engine_->Post(kRecorderChannel,
                                EncodedCall("appendPng", AppendPngArguments(std::move(png))));
    // Ticket 0: no answer will come, which FinishAppendPng reports like any missing answer.
  } else {
    call.answer = Call("appendPng", AppendPngArguments(std::move(png)));
  }
  appends_in_flight_.push_back(std::move(call));
}

bool RecorderClient::FinishAppendPng(FramesReply* reply, std::string* failure) {
  if (appends_in_flight_.empty()) {
    *failure = "no \"appendPng\" is waiting for its answer";
    return false;
  }
  InFlight call = std::move(appends_in_flight_.front());
  appends_in_flight_.pop_front();
  if (!call.answer) {
    std::vector<uint8_t> bytes;
    const bool answered = call.ticket != 0 && engine_->Await(call.ticket, &bytes);
    call.answer = Interpret(answered, bytes);
  }
  return ReadFramesReply("appendPng", *call.answer, reply, failure);
}

bool RecorderClient::Stop(FramesReply* reply, std::string* failure) {
  return ReadFramesReply("stop", Call("stop", nullptr), reply, failure);
}

bool RecorderClient::ReadFramesReply(const std::string& method,
                                     const ChannelAnswer& answer,
                                     FramesReply* reply,
                                     std::string* failure) {
  if (!CheckSuccess(method, answer, failure)) {
    return false;
  }
  const EncodableMap* map = ResultMap(answer);
  if (map == nullptr || !ReadCount(*map, "frames", &reply->frames) ||
      !ReadBool(*map, "hasAudio", &reply->has_audio)) {
    *failure = Quoted(method) +
               " succeeded without the integer \"frames\" and the boolean \"hasAudio\" in its "
               "result";
    return false;
  }
  return true;
}

}  // namespace demo
}  // namespace halvex
