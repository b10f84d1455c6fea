// The pieces of the recorder channel's fuzz target: how an input becomes messages, how the
// stand-in is set up for each input, and what every reply must look like.
#ifndef HALVEX_FUZZ_RECORDER_CHANNEL_SCENARIO_H_
#define HALVEX_FUZZ_RECORDER_CHANNEL_SCENARIO_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "messaging/encodable_value.h"

namespace halvex::fuzzing::recorder {

// Consecutive messages of `data`: each is the bytes of one method call (a name value and an
// arguments value) read from where the previous one ended, so that alignment counts from its own
// first byte as it does for a message on its own. At most `max_messages` are returned.
std::vector<std::vector<uint8_t>> SplitIntoMessages(const uint8_t* data,
                                                    size_t size,
                                                    size_t max_messages);

// `path` as a plain file name in the working directory: every byte outside [A-Za-z0-9._-]
// becomes '_', a leading dot gets a '_' before it, and only the last 100 bytes are kept, so the
// extension that picks the container survives. Empty stays empty.
std::string PlainFileName(const std::string& path);

// `message` itself, unless it is a "start" whose "path" is not a plain file name: then the call
// encoded again with PlainFileName of the path.
std::vector<uint8_t> ConfinePath(const std::vector<uint8_t>& message);

// The "stop" call with null arguments.
std::vector<uint8_t> StopMessage();

// Scripts the stand-in for one input: a few PNG-like byte strings that decode (kept across the
// run, as a stand-in without real decoding recognises no other), a default playback device that
// delivers no packets, and fresh records, so nothing grows over a run.
void PrepareStandIn();

struct Reply {
  enum class Kind { kEmpty, kSuccess, kError, kUnrecognised };
  Kind kind = Kind::kEmpty;
  flutter::EncodableValue value;  // the success value
  std::string code;
  std::string message;
  bool has_details = false;
};

// Reads a reply the way the application does.
Reply ParseReply(const std::vector<uint8_t>& bytes);

// Checks each reply against its message and the replies before it in one input.
class ReplyChecker {
 public:
  void Check(const std::vector<uint8_t>& message, const Reply& reply);

  // The paths of this input's recordings that ended with no frame written and whose path no
  // other recording of the input wrote a frame to.
  std::vector<std::string> PathsOfRecordingsWithoutFrames() const;

 private:
  void CheckStart(const flutter::EncodableValue* arguments, const Reply& reply);
  void CheckAppendPng(const Reply& reply);
  void CheckStop(const Reply& reply);
  void EndRecording();

  bool recording_ = false;
  std::string path_;
  // Of the running recording, or of the last one; unknown until the recorder first reports it.
  std::optional<int32_t> frames_;
  std::map<std::string, int32_t> frames_by_path_;
};

}  // namespace halvex::fuzzing::recorder

#endif  // HALVEX_FUZZ_RECORDER_CHANNEL_SCENARIO_H_
