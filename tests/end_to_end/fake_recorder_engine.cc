#include "tests/end_to_end/fake_recorder_engine.h"

#include <memory>

#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"

namespace halvex {
namespace demo {
namespace testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

std::vector<uint8_t> Success(const EncodableValue& value) {
  return *Codec().EncodeSuccessEnvelope(&value);
}

std::vector<uint8_t> Error(const std::string& code, const std::string& message) {
  return *Codec().EncodeErrorEnvelope(code, message);
}

}  // namespace

FakeRecorderEngine::FakeRecorderEngine() {
  services_.struct_size = sizeof(HalvexEngineServices);
  services_.engine = this;
  services_.send_message = &FakeRecorderEngine::SendMessage;
  services_.frame_drawn = &FakeRecorderEngine::FrameDrawn;
}

void FakeRecorderEngine::Script(const std::string& method, int occurrence, ScriptedAnswer answer) {
  overrides_.push_back(Override{method, occurrence, std::move(answer)});
}

std::vector<std::string> FakeRecorderEngine::Methods() const {
  std::vector<std::string> methods;
  for (const RecordedCall& call : calls_) {
    methods.push_back(call.method);
  }
  return methods;
}

int FakeRecorderEngine::SendMessage(void* engine,
                                    const char* channel,
                                    const uint8_t* message,
                                    size_t message_size,
                                    const uint8_t** reply,
                                    size_t* reply_size) {
  FakeRecorderEngine* self = static_cast<FakeRecorderEngine*>(engine);
  if (!self->Answer(channel, message, message_size)) {
    *reply = nullptr;
    *reply_size = 0;
    return 0;
  }
  *reply = self->reply_.empty() ? nullptr : self->reply_.data();
  *reply_size = self->reply_.size();
  return 1;
}

void FakeRecorderEngine::FrameDrawn(void* engine) {
  ++static_cast<FakeRecorderEngine*>(engine)->frames_drawn_;
}

bool FakeRecorderEngine::Answer(const std::string& channel,
                                const uint8_t* message,
                                size_t message_size) {
  reply_.clear();
  const std::unique_ptr<flutter::MethodCall> call = Codec().DecodeMethodCall(message, message_size);
  RecordedCall recorded{channel, "", EncodableValue()};
  if (call) {
    recorded.method = call->method_name();
    if (call->arguments() != nullptr) {
      recorded.arguments = *call->arguments();
    }
  }
  calls_.push_back(recorded);

  int occurrence = 0;
  for (const RecordedCall& earlier : calls_) {
    occurrence += earlier.method == recorded.method ? 1 : 0;
  }
  for (const Override& scripted : overrides_) {
    if (scripted.method != recorded.method || scripted.occurrence != occurrence) {
      continue;
    }
    const ScriptedAnswer& answer = scripted.answer;
    switch (answer.kind) {
      case ScriptedAnswer::Kind::kErrorEnvelope:
        reply_ = Error(answer.error_code, answer.error_message);
        return true;
      case ScriptedAnswer::Kind::kEmptyReply:
        return true;
      case ScriptedAnswer::Kind::kNoAnswer:
        return false;
      case ScriptedAnswer::Kind::kRawBytes:
        reply_ = answer.raw_bytes;
        return true;
      case ScriptedAnswer::Kind::kSuccessValue:
        reply_ = Success(answer.success_value);
        return true;
    }
  }
  if (channel != "com.halvex.camera/desktop_recorder" || !call) {
    return true;  // nothing handles it: an empty answer
  }
  reply_ = RecorderAnswer(recorded.method, recorded.arguments);
  return true;
}

// The recorder's documented answers, simplified: no file, no audio capture.
std::vector<uint8_t> FakeRecorderEngine::RecorderAnswer(const std::string& method,
                                                        const EncodableValue& arguments) {
  const EncodableMap* map = std::get_if<EncodableMap>(&arguments);
  if (method == "start") {
    if (map == nullptr) {
      return Error("bad_args", "map required");
    }
    const EncodableValue* path = flutter::LookupTextKey(*map, "path");
    if (path == nullptr || std::get_if<std::string>(path) == nullptr ||
        std::get<std::string>(*path).empty()) {
      return Error("bad_args", "path required");
    }
    const EncodableValue* audio = flutter::LookupTextKey(*map, "enableAudio");
    audio_enabled_ =
        audio == nullptr || std::get_if<bool>(audio) == nullptr || std::get<bool>(*audio);
    recording_ = true;
    frames_written_ = 0;
    return Success(EncodableValue(
        EncodableMap{{EncodableValue("hasAudioTrack"), EncodableValue(audio_enabled_)}}));
  }
  if (method == "appendPng") {
    if (map == nullptr) {
      return Error("bad_args", "map required");
    }
    const EncodableValue* bytes = flutter::LookupTextKey(*map, "bytes");
    const std::vector<uint8_t>* png =
        bytes != nullptr ? std::get_if<std::vector<uint8_t>>(bytes) : nullptr;
    if (png == nullptr || png->empty()) {
      return Error("bad_args", "bytes required");
    }
    if (recording_ && counts_frames_ && png->size() >= 8 && (*png)[0] == 0x89 && (*png)[1] == 'P' &&
        (*png)[2] == 'N' && (*png)[3] == 'G') {
      ++frames_written_;
    }
    return Success(
        EncodableValue(EncodableMap{{EncodableValue("frames"), EncodableValue(frames_written_)},
                                    {EncodableValue("hasAudio"), EncodableValue(false)}}));
  }
  if (method == "stop") {
    recording_ = false;
    audio_enabled_ = false;
    return Success(
        EncodableValue(EncodableMap{{EncodableValue("frames"), EncodableValue(frames_written_)},
                                    {EncodableValue("hasAudio"), EncodableValue(false)}}));
  }
  return {};
}

}  // namespace testing
}  // namespace demo
}  // namespace halvex
