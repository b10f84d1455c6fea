#include "tests/end_to_end/fake_recorder_engine.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

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

FakeRecorderEngine::FakeRecorderEngine(Answering answering) : answering_(answering) {
  services_.struct_size = sizeof(HalvexEngineServices);
  services_.engine = this;
  services_.send_message = &FakeRecorderEngine::SendMessage;
  services_.frame_drawn = &FakeRecorderEngine::FrameDrawn;
  services_.post_message = &FakeRecorderEngine::PostToHost;
  services_.await_reply = &FakeRecorderEngine::AwaitFromHost;
  services_.present_frame = &FakeRecorderEngine::PresentFrame;
  if (answering_ == Answering::kLaterOnAnotherThread) {
    answerer_ = std::thread(&FakeRecorderEngine::AnswerInCallOrder, this);
  }
}

FakeRecorderEngine::~FakeRecorderEngine() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (answerer_.joinable()) {
    answerer_.join();
  }
}

void FakeRecorderEngine::OfferOnlySending() {
  services_.struct_size = offsetof(HalvexEngineServices, post_message);
}

void FakeRecorderEngine::OfferWithoutPresenting() {
  services_.struct_size = offsetof(HalvexEngineServices, present_frame);
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

int FakeRecorderEngine::most_in_flight() const {
  int most = 0;
  for (const RecordedCall& call : calls_) {
    most = std::max(most, call.in_flight);
  }
  return most;
}

int FakeRecorderEngine::SendMessage(void* engine,
                                    const char* channel,
                                    const uint8_t* message,
                                    size_t message_size,
                                    const uint8_t** reply,
                                    size_t* reply_size) {
  FakeRecorderEngine* self = static_cast<FakeRecorderEngine*>(engine);
  if (self->answering_ == Answering::kLaterOnAnotherThread) {
    // Behind the posted calls, as a host that queues its calls takes them.
    return self->Await(self->Queue(channel, message, message_size), reply, reply_size);
  }
  std::lock_guard<std::mutex> guard(self->lock_);
  Answer answer = self->AnswerCall(channel, message, message_size, self->outstanding_ + 1);
  if (!answer) {
    *reply = nullptr;
    *reply_size = 0;
    return 0;
  }
  self->handed_reply_ = std::move(*answer);
  *reply = self->handed_reply_.empty() ? nullptr : self->handed_reply_.data();
  *reply_size = self->handed_reply_.size();
  return 1;
}

uint64_t FakeRecorderEngine::PostToHost(void* engine,
                                        const char* channel,
                                        const uint8_t* message,
                                        size_t message_size) {
  FakeRecorderEngine* self = static_cast<FakeRecorderEngine*>(engine);
  {
    std::lock_guard<std::mutex> guard(self->lock_);
    ++self->posts_;
  }
  return self->Queue(channel, message, message_size);
}

int FakeRecorderEngine::AwaitFromHost(void* engine,
                                      uint64_t ticket,
                                      const uint8_t** reply,
                                      size_t* reply_size) {
  return static_cast<FakeRecorderEngine*>(engine)->Await(ticket, reply, reply_size);
}

void FakeRecorderEngine::FrameDrawn(void* engine) {
  ++static_cast<FakeRecorderEngine*>(engine)->frames_drawn_;
}

int FakeRecorderEngine::PresentFrame(void* engine,
                                     const uint8_t* pixels,
                                     int32_t width,
                                     int32_t height,
                                     size_t stride) {
  auto* self = static_cast<FakeRecorderEngine*>(engine);
  ++self->presents_;
  const size_t row_bytes = static_cast<size_t>(width) * 4;
  self->last_presented_.clear();
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* start = pixels + static_cast<size_t>(row) * stride;
    self->last_presented_.insert(self->last_presented_.end(), start, start + row_bytes);
  }
  self->last_presented_width_ = width;
  return 1;
}

uint64_t FakeRecorderEngine::Queue(const char* channel,
                                   const uint8_t* message,
                                   size_t message_size) {
  std::lock_guard<std::mutex> guard(lock_);
  const uint64_t ticket = next_ticket_++;
  const int in_flight = ++outstanding_;
  if (answering_ == Answering::kAtOnce) {
    ready_[ticket] = AnswerCall(channel, message, message_size, in_flight);
  } else {
    queued_.push_back(
        Queued{ticket, channel, std::vector<uint8_t>(message, message + message_size), in_flight});
  }
  return ticket;
}

int FakeRecorderEngine::Await(uint64_t ticket, const uint8_t** reply, size_t* reply_size) {
  *reply = nullptr;
  *reply_size = 0;
  std::unique_lock<std::mutex> guard(lock_);
  const bool queued = std::any_of(queued_.begin(), queued_.end(),
                                  [ticket](const Queued& call) { return call.ticket == ticket; });
  if (!queued && ready_.count(ticket) == 0) {
    return 0;  // unknown, or taken already
  }
  wanted_ticket_ = ticket;
  changed_.notify_all();
  changed_.wait(guard, [this, ticket] { return ready_.count(ticket) > 0; });
  wanted_ticket_ = 0;
  Answer answer = std::move(ready_[ticket]);
  ready_.erase(ticket);
  --outstanding_;
  if (!answer) {
    return 0;
  }
  handed_reply_ = std::move(*answer);
  *reply = handed_reply_.empty() ? nullptr : handed_reply_.data();
  *reply_size = handed_reply_.size();
  return 1;
}

void FakeRecorderEngine::AnswerInCallOrder() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] {
      return stopping_ ||
             (!queued_.empty() && wanted_ticket_ != 0 && queued_.front().ticket <= wanted_ticket_);
    });
    if (stopping_) {
      return;
    }
    const Queued call = std::move(queued_.front());
    queued_.pop_front();
    ready_[call.ticket] =
        AnswerCall(call.channel, call.message.data(), call.message.size(), call.in_flight);
    changed_.notify_all();
  }
}

FakeRecorderEngine::Answer FakeRecorderEngine::AnswerCall(const std::string& channel,
                                                          const uint8_t* message,
                                                          size_t message_size,
                                                          int in_flight) {
  const std::unique_ptr<flutter::MethodCall> call = Codec().DecodeMethodCall(message, message_size);
  RecordedCall recorded{channel, "", EncodableValue(), in_flight};
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
        return Error(answer.error_code, answer.error_message);
      case ScriptedAnswer::Kind::kEmptyReply:
        return std::vector<uint8_t>();
      case ScriptedAnswer::Kind::kNoAnswer:
        return std::nullopt;
      case ScriptedAnswer::Kind::kRawBytes:
        return answer.raw_bytes;
      case ScriptedAnswer::Kind::kSuccessValue:
        return Success(answer.success_value);
    }
  }
  if (channel != "com.halvex.camera/desktop_recorder" || !call) {
    return std::vector<uint8_t>();  // nothing handles it: an empty answer
  }
  return RecorderAnswer(recorded.method, recorded.arguments);
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
