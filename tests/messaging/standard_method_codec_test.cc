#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "messaging/standard_method_codec.h"
#include "tests/messaging/codec_test_helpers.h"
#include "tests/support/cerr_capture.h"
#include "tests/support/encodable_value_printer.h"

namespace flutter {
namespace {

using halvex::testing::CerrCapture;
using test::Bytes;
using test::Concat;
using test::kInvalidRead;
using test::kTooDeep;
using test::Repeat;
using test::TextBytes;

using Lines = std::vector<std::string>;

const char kNotAString[] = "Invalid method call; method name is not a string.";

// Records the one answer it is given, as the codec hands it over.
class RecordingResult : public MethodResult {
 public:
  struct Answer {
    std::string kind;
    std::optional<EncodableValue> value;  // Result or details; nullopt when none was given.
    std::string code;
    std::string message;
  };
  std::vector<Answer> answers;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    answers.push_back({"success", Optional(result), "", ""});
  }
  void ErrorInternal(const std::string& code,
                     const std::string& message,
                     const EncodableValue* details) override {
    answers.push_back({"error", Optional(details), code, message});
  }
  void NotImplementedInternal() override { answers.push_back({"not implemented", {}, "", ""}); }

 private:
  static std::optional<EncodableValue> Optional(const EncodableValue* value) {
    return value != nullptr ? std::optional<EncodableValue>(*value) : std::nullopt;
  }
};

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::GetInstance();
}

TEST(StandardMethodCodec, EncodesCallsAndEnvelopes) {
  EncodableValue seven(int32_t{7});
  EncodableValue details(EncodableList{EncodableValue("x")});
  const struct {
    const char* name;
    std::unique_ptr<std::vector<uint8_t>> encoded;
    Bytes bytes;
  } cases[] = {
      {"call without arguments",
       Codec().EncodeMethodCall(MethodCall("stop", nullptr)),
       {0x07, 0x04, 0x73, 0x74, 0x6F, 0x70, 0x00}},
      {"call with arguments",
       Codec().EncodeMethodCall(MethodCall("f", std::make_unique<EncodableValue>(seven))),
       {0x07, 0x01, 'f', 0x03, 0x07, 0x00, 0x00, 0x00}},
      {"success without a result", Codec().EncodeSuccessEnvelope(), {0x00, 0x00}},
      {"success with 7",
       Codec().EncodeSuccessEnvelope(&seven),
       {0x00, 0x03, 0x07, 0x00, 0x00, 0x00}},
      {"success with 1.0 aligns to the envelope",
       Codec().EncodeSuccessEnvelope(std::make_unique<EncodableValue>(1.0).get()),
       {0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"error", Codec().EncodeErrorEnvelope("bad_args", "map required"),
       Concat({{0x01, 0x07, 0x08},
               TextBytes("bad_args"),
               {0x07, 0x0C},
               TextBytes("map required"),
               {0x00}})},
      {"error with an empty message", Codec().EncodeErrorEnvelope("bad_args"),
       Concat({{0x01, 0x07, 0x08}, TextBytes("bad_args"), {0x00, 0x00}})},
      {"error with an empty code", Codec().EncodeErrorEnvelope(""), {0x01, 0x07, 0x00, 0x00, 0x00}},
      {"error with details",
       Codec().EncodeErrorEnvelope("e", "m", &details),
       {0x01, 0x07, 0x01, 'e', 0x07, 0x01, 'm', 0x0C, 0x01, 0x07, 0x01, 'x'}},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.encoded, nullptr) << c.name;
    EXPECT_EQ(*c.encoded, c.bytes) << c.name;
  }
}

TEST(StandardMethodCodec, DecodesMethodCalls) {
  const struct {
    const char* name;
    Bytes bytes;
    std::optional<std::string> method;  // nullopt: no call.
    EncodableValue arguments;
    Lines lines;
  } cases[] = {
      {"stop with null arguments",
       {0x07, 0x04, 0x73, 0x74, 0x6F, 0x70, 0x00},
       "stop",
       EncodableValue(),
       {}},
      {"missing arguments",
       {0x07, 0x04, 0x73, 0x74, 0x6F, 0x70},
       "stop",
       EncodableValue(),
       {kInvalidRead}},
      {"map arguments and trailing bytes",
       Concat({{0x07, 0x01, 'a', 0x0D, 0x01, 0x07, 0x05},
               TextBytes("bytes"),
               {0x08, 0x01, 0x89},
               {0xFF, 0xFF}}),
       "a",
       EncodableValue(EncodableMap{{"bytes", EncodableValue(Bytes{0x89})}}),
       {}},
      {"empty name", {0x07, 0x00, 0x01}, "", EncodableValue(true), {}},
      {"name not text",
       {0x03, 0x01, 0x00, 0x00, 0x00},
       std::nullopt,
       EncodableValue(),
       {kNotAString}},
      {"name is null", {0x00, 0x07, 0x00}, std::nullopt, EncodableValue(), {kNotAString}},
      {"empty message", {}, std::nullopt, EncodableValue(), {kInvalidRead, kNotAString}},
      {"arguments nested too deep",
       Concat({{0x07, 0x01, 'm'}, Repeat({0x0C, 0x01}, 513), {0x00}}),
       "m",
       EncodableValue(),
       {kTooDeep}},
  };
  for (const auto& c : cases) {
    CerrCapture capture;
    std::unique_ptr<MethodCall> call = Codec().DecodeMethodCall(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
    if (!c.method) {
      EXPECT_EQ(call, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(call, nullptr) << c.name;
    EXPECT_EQ(call->method_name(), *c.method) << c.name;
    ASSERT_NE(call->arguments(), nullptr) << c.name;  // Decoded calls always have arguments.
    EXPECT_EQ(*call->arguments(), c.arguments) << c.name;
  }
}

TEST(StandardMethodCodec, CallsRoundTrip) {
  MethodCall call("appendPng", std::make_unique<EncodableValue>(EncodableMap{
                                   {"bytes", EncodableValue(Bytes{0x89, 'P', 'N', 'G'})},
                                   {"fps", EncodableValue(29.97)}}));
  auto bytes = Codec().EncodeMethodCall(call);
  auto decoded = Codec().DecodeMethodCall(bytes->data(), bytes->size());
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->method_name(), "appendPng");
  EXPECT_EQ(*decoded->arguments(), *call.arguments());
}

TEST(StandardMethodCodec, ProcessesResponseEnvelopes) {
  const struct {
    const char* name;
    Bytes bytes;
    bool recognised;
    std::vector<RecordingResult::Answer> answers;
    Lines lines;
  } cases[] = {
      {"success without a value", {0x00, 0x00}, true, {{"success", std::nullopt, "", ""}}, {}},
      {"success with a value",
       {0x00, 0x03, 0x07, 0x00, 0x00, 0x00},
       true,
       {{"success", EncodableValue(int32_t{7}), "", ""}},
       {}},
      {"error with message and details",
       {0x01, 0x07, 0x01, 'e', 0x07, 0x01, 'm', 0x01},
       true,
       {{"error", EncodableValue(true), "e", "m"}},
       {}},
      {"error with null message and no details",
       {0x01, 0x07, 0x01, 'e', 0x00, 0x00},
       true,
       {{"error", std::nullopt, "e", ""}},
       {}},
      {"truncated error",
       {0x01, 0x07, 0x01, 'e'},
       true,
       {{"error", std::nullopt, "e", ""}},
       {kInvalidRead, kInvalidRead}},
      {"empty response",
       {},
       true,
       {{"success", std::nullopt, "", ""}},
       {kInvalidRead, kInvalidRead}},
      {"unknown envelope", {0x02, 0x00}, false, {}, {}},
      {"error code not text", {0x01, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, false, {}, {}},
      {"error code null", {0x01, 0x00, 0x00, 0x00}, false, {}, {}},
      {"error message not text", {0x01, 0x07, 0x01, 'e', 0x01, 0x00}, false, {}, {}},
  };
  for (const auto& c : cases) {
    RecordingResult result;
    CerrCapture capture;
    EXPECT_EQ(Codec().DecodeAndProcessResponseEnvelope(c.bytes.data(), c.bytes.size(), &result),
              c.recognised)
        << c.name;
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
    ASSERT_EQ(result.answers.size(), c.answers.size()) << c.name;
    for (size_t i = 0; i < c.answers.size(); ++i) {
      EXPECT_EQ(result.answers[i].kind, c.answers[i].kind) << c.name;
      EXPECT_EQ(result.answers[i].value, c.answers[i].value) << c.name;
      EXPECT_EQ(result.answers[i].code, c.answers[i].code) << c.name;
      EXPECT_EQ(result.answers[i].message, c.answers[i].message) << c.name;
    }
  }
}

class OtherSerializer : public StandardCodecSerializer {};

TEST(StandardMethodCodec, OneCodecPerSerializer) {
  const StandardMethodCodec& shared = StandardMethodCodec::GetInstance();
  EXPECT_EQ(&StandardMethodCodec::GetInstance(), &shared);
  EXPECT_EQ(&StandardMethodCodec::GetInstance(&StandardCodecSerializer::GetInstance()), &shared);
  EXPECT_EQ(&shared.serializer(), &StandardCodecSerializer::GetInstance());

  OtherSerializer other;
  const StandardMethodCodec& other_codec = StandardMethodCodec::GetInstance(&other);
  EXPECT_NE(&other_codec, &shared);
  EXPECT_EQ(&other_codec.serializer(), &other);
  EXPECT_EQ(&StandardMethodCodec::GetInstance(&other), &other_codec);
}

TEST(StandardMethodCodec, GetInstanceFromManyThreadsYieldsOneCodec) {
  OtherSerializer serializer;
  std::vector<const StandardMethodCodec*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, &serializer, i] {
      seen[i] = &StandardMethodCodec::GetInstance(i % 2 == 0 ? &serializer : nullptr);
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], seen[i % 2]);
  }
  EXPECT_NE(seen[0], seen[1]);
}

}  // namespace
}  // namespace flutter
