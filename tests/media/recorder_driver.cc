#include "recorder_driver.h"

#include <memory>
#include <utility>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "recorder/recorder_channel.h"

namespace halvex::media_testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

class CapturingResult : public flutter::MethodResult {
 public:
  explicit CapturingResult(RecorderReply* reply) : reply_(reply) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    reply_->success = true;
    const auto* map = result != nullptr ? std::get_if<EncodableMap>(result) : nullptr;
    if (map == nullptr) {
      return;
    }
    for (const auto& [key, value] : *map) {
      const auto* name = std::get_if<std::string>(&key);
      if (name == nullptr) {
        continue;
      }
      if (*name == "frames") {
        if (const auto* frames = std::get_if<std::int32_t>(&value)) {
          reply_->frames = *frames;
        }
      } else if (*name == "hasAudio") {
        if (const auto* flag = std::get_if<bool>(&value)) {
          reply_->has_audio = *flag;
        }
      } else if (*name == "hasAudioTrack") {
        if (const auto* flag = std::get_if<bool>(&value)) {
          reply_->has_audio_track = *flag;
        }
      }
    }
  }
  void ErrorInternal(const std::string& error_code,
                     const std::string& /*error_message*/,
                     const EncodableValue* /*error_details*/) override {
    reply_->error_code = error_code;
  }
  void NotImplementedInternal() override { reply_->error_code = "not implemented"; }

 private:
  RecorderReply* reply_;
};

RecorderReply Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
  RecorderReply reply;
  flutter::MethodCall call(method, std::move(arguments));
  RecorderChannel(call, std::make_unique<CapturingResult>(&reply));
  return reply;
}

}  // namespace

RecorderReply StartRecording(const std::string& path, double fps, bool enable_audio) {
  EncodableMap arguments = {
      {EncodableValue("path"), EncodableValue(path)},
      {EncodableValue("fps"), EncodableValue(fps)},
      {EncodableValue("enableAudio"), EncodableValue(enable_audio)},
  };
  return Call("start", std::make_unique<EncodableValue>(std::move(arguments)));
}

RecorderReply AppendPng(const std::vector<std::uint8_t>& png) {
  EncodableMap arguments = {{EncodableValue("bytes"), EncodableValue(png)}};
  return Call("appendPng", std::make_unique<EncodableValue>(std::move(arguments)));
}

RecorderReply StopRecording() {
  return Call("stop", nullptr);
}

}  // namespace halvex::media_testing
