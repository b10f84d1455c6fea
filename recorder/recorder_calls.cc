#include "recorder/recorder_calls.h"

#include <string>
#include <utility>
#include <variant>

#include "messaging/encodable_value.h"
#include "recorder/desktop_recorder.h"
#include "recorder/frame_decoding.h"

namespace halvex {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr double kDefaultFramesPerSecond = 8.0;
constexpr bool kDefaultEnableAudio = true;

constexpr char kBadArgs[] = "bad_args";

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

void HandleStart(DesktopRecorder& recorder,
                 const flutter::MethodCall& call,
                 flutter::MethodResult& result) {
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

// The non-empty byte list under "bytes", or null.
const std::vector<uint8_t>* PngArgument(const EncodableMap& arguments) {
  const EncodableValue* value = flutter::LookupTextKey(arguments, "bytes");
  const std::vector<uint8_t>* bytes =
      value == nullptr ? nullptr : std::get_if<std::vector<uint8_t>>(value);
  return bytes == nullptr || bytes->empty() ? nullptr : bytes;
}

void HandleAppendPng(DesktopRecorder& recorder,
                     const flutter::MethodCall& call,
                     flutter::MethodResult& result,
                     const RecorderCallContext& context) {
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) {
    result.Error(kBadArgs, "map required");
    return;
  }
  const std::vector<uint8_t>* bytes = PngArgument(*arguments);
  if (bytes == nullptr) {
    result.Error(kBadArgs, "bytes required");
    return;
  }
  bool hasAudio = false;
  int32_t frames = 0;
  if (!context.arrivalTime.has_value()) {
    frames = recorder.AppendPng(bytes->data(), bytes->size(), &hasAudio);
  } else if (context.decodedFrame != nullptr) {
    frames = recorder.AppendDecodedFrame(*context.decodedFrame, *context.arrivalTime, &hasAudio);
  } else {
    frames =
        recorder.AppendPngArrivedAt(bytes->data(), bytes->size(), *context.arrivalTime, &hasAudio);
  }
  result.Success(FrameReport(frames, hasAudio));
}

void HandleStop(DesktopRecorder& recorder, flutter::MethodResult& result) {
  const StopResult stopped = recorder.Stop();
  result.Success(FrameReport(stopped.frames, stopped.hasAudio));
}

}  // namespace

void RunRecorderCall(DesktopRecorder& recorder,
                     const flutter::MethodCall& call,
                     flutter::MethodResult& result,
                     const RecorderCallContext& context) {
  const std::string& method = call.method_name();
  if (method == "start") {
    HandleStart(recorder, call, result);
  } else if (method == "appendPng") {
    HandleAppendPng(recorder, call, result, context);
  } else if (method == "stop") {
    HandleStop(recorder, result);
  } else {
    result.NotImplemented();
  }
}

const std::vector<uint8_t>* AppendedPng(const flutter::MethodCall& call) {
  if (call.method_name() != "appendPng") {
    return nullptr;
  }
  const EncodableMap* arguments = ArgumentMap(call);
  return arguments == nullptr ? nullptr : PngArgument(*arguments);
}

}  // namespace halvex
