#include "fuzz/recorder_channel_scenario.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "messaging/byte_buffer_streams.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"
#include "windows_testing/audio.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex::fuzzing::recorder {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::StandardMethodCodec;

constexpr size_t kMaxFileNameBytes = 100;

const EncodableMap* ArgumentMap(const EncodableValue* arguments) {
  return arguments == nullptr ? nullptr : std::get_if<EncodableMap>(arguments);
}

const EncodableValue* Lookup(const EncodableMap* map, const char* key) {
  return map == nullptr ? nullptr : flutter::LookupTextKey(*map, key);
}

template <typename T>
const T* LookupAs(const EncodableMap* map, const char* key) {
  const EncodableValue* value = Lookup(map, key);
  return value == nullptr ? nullptr : std::get_if<T>(value);
}

// A reply map must hold exactly these text keys, each of its own alternative.
template <typename First, typename Second>
bool IsMapOf(const EncodableValue& value, const char* first, const char* second) {
  const EncodableMap* map = std::get_if<EncodableMap>(&value);
  return map != nullptr && map->size() == 2 && LookupAs<First>(map, first) != nullptr &&
         LookupAs<Second>(map, second) != nullptr;
}

struct ScriptedImage {
  std::vector<BYTE> bytes;
  UINT width;
  UINT height;
  std::vector<BYTE> bgra;
};

ScriptedImage Gradient(UINT tag, UINT width, UINT height) {
  ScriptedImage image{halvex::testing::PngLikeBytes(tag), width, height, {}};
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      image.bgra.insert(image.bgra.end(), {static_cast<BYTE>(x * 7), static_cast<BYTE>(y * 5),
                                           static_cast<BYTE>(x + y), 0xFF});
    }
  }
  return image;
}

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(Reply* reply) : reply_(reply) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    reply_->kind = Reply::Kind::kSuccess;
    reply_->value = result == nullptr ? EncodableValue() : *result;
  }
  void ErrorInternal(const std::string& code,
                     const std::string& message,
                     const EncodableValue* details) override {
    reply_->kind = Reply::Kind::kError;
    reply_->code = code;
    reply_->message = message;
    reply_->has_details = details != nullptr;
  }
  void NotImplementedInternal() override { reply_->kind = Reply::Kind::kUnrecognised; }

 private:
  Reply* reply_;
};

}  // namespace

std::vector<std::vector<uint8_t>> SplitIntoMessages(const uint8_t* data,
                                                    size_t size,
                                                    size_t max_messages) {
  if (size == 0) {
    return {{}};  // The empty message is a message too.
  }
  const flutter::StandardCodecSerializer& serializer =
      StandardMethodCodec::GetInstance().serializer();
  std::vector<std::vector<uint8_t>> messages;
  size_t offset = 0;
  while (offset < size && messages.size() < max_messages) {
    flutter::ByteBufferStreamReader reader(data + offset, size - offset);
    serializer.ReadValue(&reader);
    serializer.ReadValue(&reader);
    // At least the first tag byte was read, so every message moves on.
    const size_t consumed = size - offset - reader.RemainingBytes();
    messages.emplace_back(data + offset, data + offset + consumed);
    offset += consumed;
  }
  return messages;
}

std::string PlainFileName(const std::string& path) {
  std::string name =
      path.size() > kMaxFileNameBytes ? path.substr(path.size() - kMaxFileNameBytes) : path;
  for (char& character : name) {
    const bool plain = (character >= 'a' && character <= 'z') ||
                       (character >= 'A' && character <= 'Z') ||
                       (character >= '0' && character <= '9') || character == '.' ||
                       character == '_' || character == '-';
    if (!plain) {
      character = '_';
    }
  }
  if (!name.empty() && name.front() == '.') {
    name.insert(name.begin(), '_');
  }
  return name;
}

std::vector<uint8_t> ConfinePath(const std::vector<uint8_t>& message) {
  const StandardMethodCodec& codec = StandardMethodCodec::GetInstance();
  const std::unique_ptr<flutter::MethodCall> call =
      codec.DecodeMethodCall(message.data(), message.size());
  if (call == nullptr || call->method_name() != "start") {
    return message;
  }
  const EncodableMap* arguments = ArgumentMap(call->arguments());
  const std::string* path = LookupAs<std::string>(arguments, "path");
  if (path == nullptr || PlainFileName(*path) == *path) {
    return message;
  }
  EncodableMap confined = *arguments;
  confined[EncodableValue("path")] = EncodableValue(PlainFileName(*path));
  const flutter::MethodCall confined_call("start",
                                          std::make_unique<EncodableValue>(std::move(confined)));
  return *codec.EncodeMethodCall(confined_call);
}

std::vector<uint8_t> StopMessage() {
  return *StandardMethodCodec::GetInstance().EncodeMethodCall(
      flutter::MethodCall("stop", std::make_unique<EncodableValue>()));
}

void PrepareStandIn() {
  // Sizes that are even, odd (cropped to even) and small (scaled up to the encoder's minimum).
  static const std::vector<ScriptedImage> images = {Gradient(1, 16, 16), Gradient(2, 101, 75),
                                                    Gradient(3, 2, 2)};
  halvex::testing::ResetImaging();
  // Bytes that are not one of the scripted images go to the real PNG decoder, so damaged and
  // hostile PNGs reach every decoding step the recorder takes.
  halvex::testing::DecodeRealImages();
  for (const ScriptedImage& image : images) {
    halvex::testing::ScriptImage(image.bytes, image.width, image.height, image.bgra);
  }
  halvex::testing::ResetMediaFoundation();
  halvex::testing::KeepSampleBytes(false);
  halvex::testing::ResetAudio();
  Require(halvex::testing::SetDefaultAudioDevice(halvex::testing::MixFormat{}),
          "a silent playback device can be scripted");
}

Reply ParseReply(const std::vector<uint8_t>& bytes) {
  Reply reply;
  if (bytes.empty()) {
    return reply;
  }
  RecordingResult result(&reply);
  if (!StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(bytes.data(),
                                                                           bytes.size(), &result)) {
    reply.kind = Reply::Kind::kUnrecognised;
  }
  return reply;
}

void ReplyChecker::Check(const std::vector<uint8_t>& message, const Reply& reply) {
  const std::unique_ptr<flutter::MethodCall> call =
      StandardMethodCodec::GetInstance().DecodeMethodCall(message.data(), message.size());
  const std::string method = call == nullptr ? std::string() : call->method_name();
  if (method != "start" && method != "appendPng" && method != "stop") {
    Require(reply.kind == Reply::Kind::kEmpty,
            "a message that is no recorder call gets the empty reply");
    return;
  }
  Require(reply.kind == Reply::Kind::kSuccess || reply.kind == Reply::Kind::kError,
          "a recorder call gets a success or an error envelope");
  Require(!reply.has_details, "no error carries details");
  if (method == "start") {
    CheckStart(call->arguments(), reply);
  } else if (method == "appendPng") {
    const EncodableMap* arguments = ArgumentMap(call->arguments());
    const std::vector<uint8_t>* bytes = LookupAs<std::vector<uint8_t>>(arguments, "bytes");
    if (arguments == nullptr) {
      Require(reply.code == "bad_args" && reply.message == "map required",
              "appendPng without a map is answered map required");
    } else if (bytes == nullptr || bytes->empty()) {
      Require(reply.code == "bad_args" && reply.message == "bytes required",
              "appendPng without bytes is answered bytes required");
    } else {
      CheckAppendPng(reply);
    }
  } else {
    CheckStop(reply);
  }
}

void ReplyChecker::CheckStart(const EncodableValue* arguments, const Reply& reply) {
  const EncodableMap* map = ArgumentMap(arguments);
  const std::string* path = LookupAs<std::string>(map, "path");
  if (map == nullptr) {
    Require(reply.code == "bad_args" && reply.message == "map required",
            "start without a map is answered map required");
    return;
  }
  if (path == nullptr || path->empty()) {
    Require(reply.code == "bad_args" && reply.message == "path required",
            "start without a path is answered path required");
    return;
  }
  EndRecording();
  if (reply.kind == Reply::Kind::kError) {
    Require(reply.code == "start_failed" && reply.message == "Could not start desktop recorder",
            "a refused start is answered start_failed");
    return;
  }
  Require(std::holds_alternative<EncodableMap>(reply.value) &&
              std::get<EncodableMap>(reply.value).size() == 1,
          "start answers a map of one entry");
  const bool* has_audio_track =
      LookupAs<bool>(&std::get<EncodableMap>(reply.value), "hasAudioTrack");
  Require(has_audio_track != nullptr, "start answers hasAudioTrack as a boolean");
  const bool* enable_audio = LookupAs<bool>(map, "enableAudio");
  Require(*has_audio_track == (enable_audio == nullptr || *enable_audio),
          "hasAudioTrack is the enableAudio that was asked for, true by default");
  recording_ = true;
  path_ = *path;
  frames_ = 0;
}

void ReplyChecker::CheckAppendPng(const Reply& reply) {
  Require(reply.kind == Reply::Kind::kSuccess, "appendPng with bytes always succeeds");
  Require(IsMapOf<int32_t, bool>(reply.value, "frames", "hasAudio"),
          "appendPng answers frames and hasAudio");
  const int32_t frames = *LookupAs<int32_t>(&std::get<EncodableMap>(reply.value), "frames");
  if (recording_) {
    Require(frames == *frames_ || frames == *frames_ + 1, "a frame adds at most one to the count");
  } else if (frames_) {
    Require(frames == *frames_, "without a recording, appendPng repeats the last count");
  }
  frames_ = frames;
}

void ReplyChecker::CheckStop(const Reply& reply) {
  Require(reply.kind == Reply::Kind::kSuccess, "stop always succeeds");
  Require(IsMapOf<int32_t, bool>(reply.value, "frames", "hasAudio"),
          "stop answers frames and hasAudio");
  const int32_t frames = *LookupAs<int32_t>(&std::get<EncodableMap>(reply.value), "frames");
  Require(frames >= 0, "a frame count is never negative");
  if (frames_) {
    Require(frames == *frames_, "stop reports the frames that appendPng reported");
  }
  frames_ = frames;
  EndRecording();
}

void ReplyChecker::EndRecording() {
  if (!recording_) {
    return;
  }
  int32_t& most = frames_by_path_[path_];
  most = std::max(most, frames_.value_or(0));
  recording_ = false;
}

std::vector<std::string> ReplyChecker::PathsOfRecordingsWithoutFrames() const {
  std::vector<std::string> paths;
  for (const auto& [path, frames] : frames_by_path_) {
    if (frames == 0) {
      paths.push_back(path);
    }
  }
  return paths;
}

}  // namespace halvex::fuzzing::recorder
