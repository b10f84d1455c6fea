#include "tests/windows/probe_channel_calls.h"

#include <memory>
#include <utility>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "tests/windows/png_fixtures.h"

namespace halvex::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

std::vector<uint8_t> Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
  const flutter::MethodCall call(method, std::move(arguments));
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
}

std::unique_ptr<EncodableValue> Map(EncodableMap entries) {
  return std::make_unique<EncodableValue>(std::move(entries));
}

std::vector<uint8_t> Success(EncodableMap entries) {
  const EncodableValue value(std::move(entries));
  return *flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(&value);
}

std::vector<uint8_t> Error(const std::string& code, const std::string& message) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeErrorEnvelope(code, message, nullptr);
}

std::vector<uint8_t> Frames(int32_t frames) {
  return Success({{"frames", frames}, {"hasAudio", false}});
}

}  // namespace

std::vector<ProbeChannelCall> ProbeChannelCalls(const std::string& outputPath) {
  const std::vector<uint8_t> frame = GradientPng(64, 48, 9);
  return {
      {"stop before start", Call("stop", nullptr), Frames(0)},
      {"start without arguments", Call("start", nullptr), Error("bad_args", "map required")},
      {"start without path", Call("start", Map({{"fps", 30}})), Error("bad_args", "path required")},
      {"frame without bytes", Call("appendPng", Map({})), Error("bad_args", "bytes required")},
      {"unknown method", Call("pause", nullptr), {}},
      {"start", Call("start", Map({{"path", outputPath}, {"fps", 30}})),
       Success({{"hasAudioTrack", true}})},
      {"first frame", Call("appendPng", Map({{"bytes", frame}})), Frames(0)},
      {"second frame", Call("appendPng", Map({{"bytes", frame}})), Frames(0)},
      {"third frame", Call("appendPng", Map({{"bytes", frame}})), Frames(0)},
      {"fourth frame", Call("appendPng", Map({{"bytes", frame}})), Frames(0)},
      {"stop", Call("stop", nullptr), Frames(0)},
      {"stop again", Call("stop", nullptr), Frames(0)},
  };
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

}  // namespace halvex::testing
