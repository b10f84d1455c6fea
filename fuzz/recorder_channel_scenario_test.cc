// The recorder fuzz target is only as good as its pieces: a file name that escapes the scratch
// folder would let an input write anywhere, a wrong split would fuzz other messages than the
// seeds hold, and a checker that lets a wrong reply through would hide the faults it is for.
#include "fuzz/recorder_channel_scenario.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"

namespace halvex::fuzzing::recorder {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;

Bytes Call(const std::string& method, EncodableValue arguments) {
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
      flutter::MethodCall(method, std::make_unique<EncodableValue>(std::move(arguments))));
}

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

Reply Success(EncodableMap map) {
  Reply reply;
  reply.kind = Reply::Kind::kSuccess;
  reply.value = EncodableValue(std::move(map));
  return reply;
}

Reply Error(const std::string& code, const std::string& message) {
  Reply reply;
  reply.kind = Reply::Kind::kError;
  reply.code = code;
  reply.message = message;
  return reply;
}

Reply Frames(int32_t frames) {
  return Success({{"frames", EncodableValue(frames)}, {"hasAudio", EncodableValue(false)}});
}

TEST(PlainFileName, KeepsNamesInTheWorkingDirectory) {
  const std::string long_name = std::string(150, 'a') + ".mp4";
  const struct {
    std::string path;
    std::string expected;
  } cases[] = {
      {"clip.mp4", "clip.mp4"},
      {"", ""},
      {"/tmp/../etc/x.mp4", "_tmp_.._etc_x.mp4"},
      {"..", "_.."},
      {".hidden.mp4", "_.hidden.mp4"},
      {"C:\\videos\\a b.mp4", "C__videos_a_b.mp4"},
      {"caf\xC3\xA9.mp4", "caf__.mp4"},
      {std::string("a\0b.mp4", 7), "a_b.mp4"},
      {long_name, long_name.substr(long_name.size() - 100)},
      {"." + std::string(100, 'b'), std::string(100, 'b')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlainFileName(c.path), c.expected) << c.path;
    EXPECT_EQ(PlainFileName(c.expected), c.expected) << "a plain name stays as it is: " << c.path;
  }
}

TEST(ConfinePath, RewritesOnlyTheStartPathThatIsNoPlainName) {
  const Bytes escaping = Call(
      "start", EncodableMap{{"path", EncodableValue("/tmp/x.mp4")}, {"fps", EncodableValue(30.0)}});
  const std::unique_ptr<flutter::MethodCall> confined =
      flutter::StandardMethodCodec::GetInstance().DecodeMethodCall(ConfinePath(escaping).data(),
                                                                   ConfinePath(escaping).size());
  ASSERT_NE(confined, nullptr);
  EXPECT_EQ(confined->method_name(), "start");
  EXPECT_EQ(*confined->arguments(),
            EncodableValue(EncodableMap{{"path", EncodableValue("_tmp_x.mp4")},
                                        {"fps", EncodableValue(30.0)}}));

  const Bytes unchanged[] = {
      Call("start", EncodableMap{{"path", EncodableValue("plain.mp4")}}),
      Call("start", EncodableMap{{"path", EncodableValue(int32_t{1})}}),
      Call("appendPng", EncodableMap{{"path", EncodableValue("/tmp/x.mp4")}}),
      Call("stop", EncodableValue()),
      {0x03, 0x01, 0x00, 0x00, 0x00},
      {},
  };
  for (const Bytes& message : unchanged) {
    EXPECT_EQ(ConfinePath(message), message);
  }
}

TEST(SplitIntoMessages, GivesBackTheCallsAnInputWasMadeOf) {
  // "start" carries a double, whose padding counts from its own message's first byte.
  const Bytes start =
      Call("start", EncodableMap{{"path", EncodableValue("a.mp4")}, {"fps", EncodableValue(8.0)}});
  const Bytes append = Call("appendPng", EncodableMap{{"bytes", EncodableValue(Bytes{1, 2})}});
  const Bytes stop = Call("stop", EncodableValue());
  const Bytes not_a_call = {0x03, 0x01, 0x00, 0x00, 0x00, 0x00};
  const struct {
    const char* name;
    std::vector<Bytes> parts;
    size_t max_messages;
    std::vector<Bytes> expected;
  } cases[] = {
      {"calls", {stop, start, append, stop}, 16, {stop, start, append, stop}},
      {"at most max_messages", {start, append, append, stop}, 2, {start, append}},
      {"a first value that is no name still ends where its second value does",
       {not_a_call, stop},
       16,
       {not_a_call, stop}},
      {"bytes that a truncated value could not use start the next message",
       {stop, Bytes(start.begin(), start.end() - 3)},
       16,
       {stop, Bytes(start.begin(), start.end() - 5), Bytes(start.end() - 5, start.end() - 3)}},
      {"no bytes are one empty message", {}, 16, {Bytes{}}},
  };
  for (const auto& c : cases) {
    const Bytes input = Concat(c.parts);
    EXPECT_EQ(SplitIntoMessages(input.data(), input.size(), c.max_messages), c.expected) << c.name;
  }
}

TEST(ReplyCheckerDeathTest, RejectsRepliesTheChannelMustNotGive) {
  const Bytes start = Call("start", EncodableMap{{"path", EncodableValue("a.mp4")}});
  const Bytes append = Call("appendPng", EncodableMap{{"bytes", EncodableValue(Bytes{1})}});
  const Bytes stop = Call("stop", EncodableValue());
  const Reply started = Success({{"hasAudioTrack", EncodableValue(true)}});
  const struct {
    const char* name;
    std::vector<std::pair<Bytes, Reply>> accepted;
    std::pair<Bytes, Reply> rejected;
    const char* property;
  } cases[] = {
      {"unknown method answered", {}, {Call("Stop", EncodableValue()), Frames(0)}, "empty reply"},
      {"frame count jumps",
       {{start, started}, {append, Frames(1)}},
       {append, Frames(3)},
       "at most one"},
      {"stop loses frames",
       {{start, started}, {append, Frames(1)}},
       {stop, Frames(0)},
       "frames that appendPng reported"},
      {"wrong error message",
       {},
       {Call("start", EncodableValue()), Error("bad_args", "path required")},
       "map required"},
      {"start without audio claims a track",
       {},
       {Call("start", EncodableMap{{"path", EncodableValue("a.mp4")},
                                   {"enableAudio", EncodableValue(false)}}),
        started},
       "hasAudioTrack is the enableAudio"},
      {"stop fails", {}, {stop, Error("stop_failed", "no")}, "stop always succeeds"},
      {"reply map with an extra key",
       {},
       {stop, Success({{"frames", EncodableValue(int32_t{0})},
                       {"hasAudio", EncodableValue(false)},
                       {"extra", EncodableValue()}})},
       "stop answers frames and hasAudio"},
  };
  for (const auto& c : cases) {
    ReplyChecker checker;
    for (const auto& [message, reply] : c.accepted) {
      checker.Check(message, reply);
    }
    EXPECT_DEATH(checker.Check(c.rejected.first, c.rejected.second), c.property) << c.name;
  }
}

TEST(ReplyChecker, AcceptsARecordingAndNamesTheFilesThatMustNotExist) {
  const Bytes start_a = Call("start", EncodableMap{{"path", EncodableValue("a.mp4")}});
  const Bytes start_b = Call("start", EncodableMap{{"path", EncodableValue("b.mp4")}});
  const Bytes append = Call("appendPng", EncodableMap{{"bytes", EncodableValue(Bytes{1})}});
  const Reply started = Success({{"hasAudioTrack", EncodableValue(true)}});
  ReplyChecker checker;
  checker.Check(Call("stop", EncodableValue()), Frames(7));  // left by an earlier input
  checker.Check(append, Frames(7));
  checker.Check(start_a, started);
  checker.Check(append, Frames(0));  // not decodable: dropped
  checker.Check(start_b, started);
  checker.Check(append, Frames(1));
  checker.Check(Call("stop", EncodableValue()), Frames(1));
  EXPECT_EQ(checker.PathsOfRecordingsWithoutFrames(), std::vector<std::string>{"a.mp4"});
}

}  // namespace
}  // namespace halvex::fuzzing::recorder
