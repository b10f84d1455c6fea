// Sends arbitrary bytes to the recorder's channel as the application would: the input is a
// sequence of messages (each one method call's worth of bytes, read where the previous one ended),
// delivered in order through the engine's messenger, and followed by a "stop" so that every input
// leaves the recorder idle and inputs replay alone.
//
// Every message must be answered before its handler returns, with an empty reply for anything but
// "start", "appendPng" and "stop", with one of the four defined errors, or with the reply map of
// its method; frame counts must add up; and once stopped, no media object may be left alive and
// no file may exist for a recording that wrote no frame.
//
// Recordings are written to a scratch folder: a "path" that is not a plain file name is replaced
// by one, so that no input can write outside it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/recorder_channel_scenario.h"
#include "messaging/binary_messenger_impl.h"
#include "recorder/application_id.h"
#include "recorder/recorder_channel.h"
#include "tests/support/fake_messenger.h"
#include "windows_testing/com.h"

namespace {

namespace fs = std::filesystem;
using halvex::fuzzing::DiagnosticCharacters;
using halvex::fuzzing::Require;
using halvex::fuzzing::recorder::Reply;
using halvex::fuzzing::recorder::ReplyChecker;

// At most this many messages of an input are delivered; the rest are ignored.
constexpr size_t kMaxMessagesPerInput = 16;

// The scratch folder is the working directory, so the plain file names that reach the recorder
// land in it. It is emptied after every input and removed at exit.
class ScratchFolder {
 public:
  static const fs::path& Path() {
    static const ScratchFolder folder;
    return folder.path_;
  }

  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }

 private:
  ScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      fs::path candidate =
          fs::temp_directory_path() /
          ("halvex-fuzz-recorder-" + std::to_string(random()) + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) {
        path_ = candidate;
      }
    }
    Require(!path_.empty(), "a scratch folder can be made");
    fs::current_path(path_);
  }

  fs::path path_;
};

void EmptyScratchFolder() {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(ScratchFolder::Path(), ignored)) {
    fs::remove_all(entry.path(), ignored);
  }
}

// A fresh messenger for every input, so the fake's records do not grow over a run. The channel is
// registered on the new one before the old one goes, so it never points at a destroyed messenger.
struct Messengers {
  halvex::testing::FakeMessenger fake;
  flutter::BinaryMessengerImpl binary{fake.messenger()};
};

Messengers& FreshMessengers() {
  static std::unique_ptr<Messengers> current;
  auto next = std::make_unique<Messengers>();
  halvex::RegisterRecorderChannel(&next->binary);
  current = std::move(next);
  return *current;
}

// The recorder takes every message at once and answers later, in order, from its own thread.
const FlutterDesktopMessageResponseHandle* Deliver(Messengers& messengers,
                                                   const std::vector<uint8_t>& message) {
  const FlutterDesktopMessageResponseHandle* handle =
      messengers.fake.Deliver(halvex::RecorderChannelName(), message);
  Require(handle != nullptr, "the channel takes every message");
  return handle;
}

Reply AnswerTo(Messengers& messengers, const FlutterDesktopMessageResponseHandle* handle) {
  const std::optional<halvex::testing::FakeMessenger::Response> response =
      messengers.fake.ResponseFor(handle);
  Require(response.has_value(), "every message is answered once the recorder's calls are done");
  return halvex::fuzzing::recorder::ParseReply(response->bytes);
}

void RequireNoMediaObjectAlive() {
  const int live = halvex::testing::TotalLiveObjects();
  if (live != 0) {
    for (const auto& [name, count] : halvex::testing::LiveObjectCounts()) {
      std::fprintf(stderr, "still alive after stop: %d %s\n", count, name.c_str());
    }
  }
  Require(live == 0, "no media object is left alive once the recorder stopped");
  Require(halvex::testing::OverReleases() == 0, "no media object is released too often");
  Require(halvex::testing::CallsOnReleasedObjects() == 0, "no released media object is used");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DiagnosticCharacters();  // Silences std::cerr before the first diagnostic.
  ScratchFolder::Path();
  halvex::fuzzing::recorder::PrepareStandIn();
  Messengers& messengers = FreshMessengers();

  // The recorder outlives inputs; the first "stop" tells the count the last recording left. All
  // messages are in flight together, so frames are decoded ahead while earlier calls run.
  const std::vector<uint8_t> stop = halvex::fuzzing::recorder::StopMessage();
  std::vector<std::vector<uint8_t>> sent = {stop};
  for (const std::vector<uint8_t>& message :
       halvex::fuzzing::recorder::SplitIntoMessages(data, size, kMaxMessagesPerInput)) {
    sent.push_back(halvex::fuzzing::recorder::ConfinePath(message));
  }
  sent.push_back(stop);
  std::vector<const FlutterDesktopMessageResponseHandle*> handles;
  for (const std::vector<uint8_t>& message : sent) {
    handles.push_back(Deliver(messengers, message));
  }
  halvex::FinishRecorderCalls();
  ReplyChecker checker;
  for (size_t i = 0; i < sent.size(); ++i) {
    checker.Check(sent[i], AnswerTo(messengers, handles[i]));
  }

  Require(messengers.fake.misuses().empty(), "the messenger is used as the engine requires");
  RequireNoMediaObjectAlive();
  for (const std::string& path : checker.PathsOfRecordingsWithoutFrames()) {
    Require(!fs::exists(path), "no file is left for a recording that wrote no frame");
  }
  EmptyScratchFolder();
  return 0;
}
