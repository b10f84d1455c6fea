#include "recorder/recorder_channel.h"

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "messaging/encodable_value.h"
#include "messaging/method_channel.h"
#include "messaging/standard_method_codec.h"
#include "recorder/application_id.h"
#include "recorder/desktop_recorder.h"

namespace halvex {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr double kDefaultFramesPerSecond = 8.0;
constexpr bool kDefaultEnableAudio = true;

constexpr char kBadArgs[] = "bad_args";

std::unique_ptr<flutter::MethodChannel>& ChannelHolder() {
  static std::unique_ptr<flutter::MethodChannel> channel;
  return channel;
}

const EncodableMap* ArgumentMap(const flutter::MethodCall& call) {
  const EncodableValue* arguments = call.arguments();
  return arguments == nullptr ? nullptr : std::get_if<EncodableMap>(arguments);
}

// A value of another alternative than the one a key takes counts as missing.
std::string TextArgument(const EncodableMap& arguments, const char* key) {
  const EncodableValue* value = flutter::LookupTextKey(arguments, key);
  const std::string* text = value == nullptr ? nullptr : std::get_if<std::string>(value);
  return text == nullptr ? std::string() : *text;
}

bool BoolArgument(const EncodableMap& arguments, const char* key, bool fallback) {
  const EncodableValue* value = flutter::LookupTextKey(arguments, key);
  const bool* flag = value == nullptr ? nullptr : std::get_if<bool>(value);
  return flag == nullptr ? fallback : *flag;
}

double NumberArgument(const EncodableMap& arguments, const char* key, double fallback) {
  const EncodableValue* value = flutter::LookupTextKey(arguments, key);
  if (value == nullptr) {
    return fallback;
  }
  if (const double* number = std::get_if<double>(value)) {
    return *number;
  }
  if (const int32_t* number = std::get_if<int32_t>(value)) {
    return static_cast<double>(*number);
  }
  if (const int64_t* number = std::get_if<int64_t>(value)) {
    return static_cast<double>(*number);
  }
  if (const bool* flag = std::get_if<bool>(value)) {
    return *flag ? 1.0 : 0.0;
  }
  return fallback;
}

EncodableValue FrameReport(int32_t frames, bool hasAudio) {
  return EncodableValue(EncodableMap{
      {EncodableValue("frames"), EncodableValue(frames)},
      {EncodableValue("hasAudio"), EncodableValue(hasAudio)},
  });
}

void HandleStart(const flutter::MethodCall& call, flutter::MethodResult& result) {
  DesktopRecorder& recorder = DesktopRecorder::Instance();
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) {
    result.Error(kBadArgs, "map required");
    return;
  }
  const std::string path = TextArgument(*arguments, "path");
  if (path.empty()) {
    result.Error(kBadArgs, "path required");
    return;
  }
  const double fps = NumberArgument(*arguments, "fps", kDefaultFramesPerSecond);
  const std::string videoTrackId = TextArgument(*arguments, "videoTrackId");
  const std::string peerConnectionId = TextArgument(*arguments, "peerConnectionId");
  const bool enableAudio = BoolArgument(*arguments, "enableAudio", kDefaultEnableAudio);

  bool hasAudioTrack = false;
  if (!recorder.Start(path, fps, videoTrackId, peerConnectionId, enableAudio, &hasAudioTrack)) {
    result.Error("start_failed", "Could not start desktop recorder");
    return;
  }
  result.Success(EncodableValue(EncodableMap{
      {EncodableValue("hasAudioTrack"), EncodableValue(hasAudioTrack)},
  }));
}

void HandleAppendPng(const flutter::MethodCall& call, flutter::MethodResult& result) {
  DesktopRecorder& recorder = DesktopRecorder::Instance();
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) {
    result.Error(kBadArgs, "map required");
    return;
  }
  const EncodableValue* value = flutter::LookupTextKey(*arguments, "bytes");
  const std::vector<uint8_t>* bytes =
      value == nullptr ? nullptr : std::get_if<std::vector<uint8_t>>(value);
  if (bytes == nullptr || bytes->empty()) {
    result.Error(kBadArgs, "bytes required");
    return;
  }
  bool hasAudio = false;
  const int32_t frames = recorder.AppendPng(bytes->data(), bytes->size(), &hasAudio);
  result.Success(FrameReport(frames, hasAudio));
}

void HandleStop(flutter::MethodResult& result) {
  const StopResult stopped = DesktopRecorder::Instance().Stop();
  result.Success(FrameReport(stopped.frames, stopped.hasAudio));
}

}  // namespace

void RegisterRecorderChannel(flutter::BinaryMessenger* messenger) {
  ChannelHolder() = std::make_unique<flutter::MethodChannel>(
      messenger, RecorderChannelName(), &flutter::StandardMethodCodec::GetInstance());
  ChannelHolder()->SetMethodCallHandler(RecorderChannel);
}

void RecorderChannel(const flutter::MethodCall& call,
                     std::unique_ptr<flutter::MethodResult> result) {
  if (!result) {
    return;
  }
  const std::string& method = call.method_name();
  if (method == "start") {
    HandleStart(call, *result);
  } else if (method == "appendPng") {
    HandleAppendPng(call, *result);
  } else if (method == "stop") {
    HandleStop(*result);
  } else {
    result->NotImplemented();
  }
}

}  // namespace halvex
