// Drives the host's desktop recorder over its method channel: "start", "appendPng", "stop".
#ifndef HALVEX_APP_RECORDER_CLIENT_H_
#define HALVEX_APP_RECORDER_CLIENT_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/engine_services.h"
#include "messaging/encodable_value.h"

namespace halvex {
namespace demo {

// The host's recorder channel; the host registers it under the same name.
inline constexpr char kRecorderChannel[] = "com.halvex.camera/desktop_recorder";

// What one method call on the channel came back with.
struct ChannelAnswer {
  enum class Kind {
    kSuccess,         // a success envelope; `result` holds its value
    kError,           // an error envelope
    kNotImplemented,  // an empty answer: no handler, or the handler does not know the method
    kNoAnswer,        // the engine is shutting down
    kUnreadable,      // bytes that are not a reply envelope
  };
  Kind kind = Kind::kNoAnswer;
  flutter::EncodableValue result;
  std::string error_code;
  std::string error_message;
  bool error_has_details = false;
  size_t reply_size = 0;
};

struct StartReply {
  bool has_audio_track = false;
};

// The answer of "appendPng" and of "stop".
struct FramesReply {
  int32_t frames = 0;
  bool has_audio = false;
};

class RecorderClient {
 public:
  // `engine` must outlive the client. With `post_appends` and an engine that can post,
  // BeginAppendPng does not wait for the answer, so that several frames can be in flight.
  explicit RecorderClient(EngineServices* engine, bool post_appends = false);

  // Each call returns true when the recorder answered with success and the result it documents.
  // Otherwise it returns false and describes the answer in `failure`, one line naming the method.
  bool Start(const std::string& path,
             double fps,
             bool enable_audio,
             StartReply* reply,
             std::string* failure);
  bool AppendPng(std::vector<uint8_t> png, FramesReply* reply, std::string* failure);
  bool Stop(FramesReply* reply, std::string* failure);

  // Sends "appendPng" and leaves its answer to FinishAppendPng. Posted when the client posts
  // appends; otherwise the call waits and its answer is kept.
  void BeginAppendPng(std::vector<uint8_t> png);
  // Takes the answer of the oldest "appendPng" begun and not yet finished and reads it as
  // AppendPng does. Returns false, with `failure` set, when it failed or none is outstanding.
  bool FinishAppendPng(FramesReply* reply, std::string* failure);
  size_t appends_in_flight() const { return appends_in_flight_.size(); }
  bool posts_appends() const { return post_appends_; }

  // Whether a call got no answer at all, i.e. the engine is going away and later calls will not
  // be answered either.
  bool engine_gone() const { return engine_gone_; }

 private:
  // An "appendPng" whose answer has not been taken: either its ticket, or the answer itself
  // when the call waited.
  struct InFlight {
    uint64_t ticket = 0;
    std::optional<ChannelAnswer> answer;
  };

  ChannelAnswer Call(const std::string& method, std::unique_ptr<flutter::EncodableValue> arguments);
  // Reads what the engine handed back: `answered` false means no answer came.
  ChannelAnswer Interpret(bool answered, const std::vector<uint8_t>& reply);
  // Turns any answer but a success into its one-line description.
  bool CheckSuccess(const std::string& method, const ChannelAnswer& answer, std::string* failure);
  bool ReadFramesReply(const std::string& method,
                       const ChannelAnswer& answer,
                       FramesReply* reply,
                       std::string* failure);

  EngineServices* engine_;
  bool post_appends_;
  bool engine_gone_ = false;
  std::deque<InFlight> appends_in_flight_;  // oldest first
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_RECORDER_CLIENT_H_
