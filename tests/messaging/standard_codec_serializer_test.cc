#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "messaging/standard_codec_serializer.h"
#include "tests/messaging/codec_test_helpers.h"
#include "tests/support/cerr_capture.h"
#include "tests/support/encodable_value_printer.h"

namespace flutter {
namespace {

using halvex::testing::CerrCapture;
using test::Bytes;
using test::Concat;
using test::Decode;
using test::Encode;
using test::kInvalidRead;
using test::kTooDeep;
using test::Repeat;
using test::TextBytes;

using Lines = std::vector<std::string>;

struct LayoutCase {
  const char* name;
  EncodableValue value;
  Bytes bytes;
};

// Alignment is counted from the first byte of the message, so every layout below is the layout at
// the start of a message.
std::vector<LayoutCase> LayoutCases() {
  return {
      {"null", EncodableValue(), {0x00}},
      {"true", EncodableValue(true), {0x01}},
      {"false", EncodableValue(false), {0x02}},
      {"int32 1", EncodableValue(int32_t{1}), {0x03, 0x01, 0x00, 0x00, 0x00}},
      {"int32 -2", EncodableValue(int32_t{-2}), {0x03, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"int64 1", EncodableValue(int64_t{1}), {0x04, 0x01, 0, 0, 0, 0, 0, 0, 0}},
      {"small int64 keeps its tag", EncodableValue(int64_t{5}), {0x04, 0x05, 0, 0, 0, 0, 0, 0, 0}},
      {"double 1.0",
       EncodableValue(1.0),
       {0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"empty text", EncodableValue(""), {0x07, 0x00}},
      {"text", EncodableValue("hi"), {0x07, 0x02, 'h', 'i'}},
      {"text with NUL", EncodableValue(std::string("a\0b", 3)), {0x07, 0x03, 'a', 0x00, 'b'}},
      {"byte list", EncodableValue(Bytes{1, 2, 3}), {0x08, 0x03, 1, 2, 3}},
      {"empty byte list", EncodableValue(Bytes{}), {0x08, 0x00}},
      {"int32 list",
       EncodableValue(std::vector<int32_t>{1, 2}),
       {0x09, 0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}},
      {"empty int32 list is padded", EncodableValue(std::vector<int32_t>{}), {0x09, 0x00, 0, 0}},
      {"int64 list",
       EncodableValue(std::vector<int64_t>{-2}),
       {0x0A, 0x01, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"empty int64 list is padded",
       EncodableValue(std::vector<int64_t>{}),
       {0x0A, 0x00, 0, 0, 0, 0, 0, 0}},
      {"double list",
       EncodableValue(std::vector<double>{0.5}),
       {0x0B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}},
      {"empty double list is padded",
       EncodableValue(std::vector<double>{}),
       {0x0B, 0x00, 0, 0, 0, 0, 0, 0}},
      {"float list",
       EncodableValue(std::vector<float>{1.0f}),
       {0x0E, 0x01, 0, 0, 0x00, 0x00, 0x80, 0x3F}},
      {"empty float list is padded", EncodableValue(std::vector<float>{}), {0x0E, 0x00, 0, 0}},
      {"list",
       EncodableValue(EncodableList{EncodableValue(1), EncodableValue("a")}),
       {0x0C, 0x02, 0x03, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 'a'}},
      {"double inside a list aligns to the message",
       EncodableValue(EncodableList{EncodableValue(1.0)}),
       {0x0C, 0x01, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
      {"map entries in key order",
       EncodableValue(
           EncodableMap{{"hasAudio", EncodableValue(true)}, {"frames", EncodableValue(3)}}),
       Concat({{0x0D, 0x02, 0x07, 0x06},
               TextBytes("frames"),
               {0x03, 0x03, 0x00, 0x00, 0x00},
               {0x07, 0x08},
               TextBytes("hasAudio"),
               {0x01}})},
      {"int32, int64 and double keys",
       EncodableValue(EncodableMap{{EncodableValue(5.0), EncodableValue()},
                                   {EncodableValue(int64_t{5}), EncodableValue()},
                                   {EncodableValue(int32_t{5}), EncodableValue()}}),
       Concat({{0x0D, 0x03},
               {0x03, 0x05, 0, 0, 0},
               {0x00},
               {0x04, 0x05, 0, 0, 0, 0, 0, 0, 0},
               {0x00},
               {0x06, 0, 0, 0, 0, 0},  // The tag sits at 18: five bytes pad to 24.
               {0, 0, 0, 0, 0, 0, 0x14, 0x40},
               {0x00}})},
  };
}

TEST(StandardCodecSerializer, WritesTheExactLayout) {
  for (const auto& c : LayoutCases()) {
    EXPECT_EQ(Encode(c.value), c.bytes) << c.name;
  }
}

TEST(StandardCodecSerializer, ReadsTheLayoutBackWithoutDiagnostics) {
  for (const auto& c : LayoutCases()) {
    CerrCapture capture;
    EXPECT_EQ(Decode(c.bytes), c.value) << c.name;
    EXPECT_EQ(capture.text(), "") << c.name;
  }
}

TEST(StandardCodecSerializer, AlignmentCountsBytesAlreadyInTheMessage) {
  const struct {
    size_t bytes_before;
    size_t padding;
  } cases[] = {{0, 7}, {1, 6}, {6, 1}, {7, 0}, {8, 7}};
  for (const auto& c : cases) {
    Bytes message(c.bytes_before, 0xAA);
    ByteBufferStreamWriter writer(&message);
    StandardCodecSerializer::GetInstance().WriteValue(EncodableValue(1.0), &writer);
    ASSERT_EQ(message.size(), c.bytes_before + 1 + c.padding + 8) << c.bytes_before;
    EXPECT_EQ(message[c.bytes_before], 0x06);
    for (size_t i = 0; i < c.padding; ++i) {
      EXPECT_EQ(message[c.bytes_before + 1 + i], 0x00);
    }
    ByteBufferStreamReader reader(message.data(), message.size());
    Bytes skipped(c.bytes_before);
    reader.ReadBytes(skipped.data(), skipped.size());
    EXPECT_EQ(StandardCodecSerializer::GetInstance().ReadValue(&reader), EncodableValue(1.0));
    EXPECT_EQ(reader.RemainingBytes(), 0u);
  }
}

TEST(StandardCodecSerializer, SizeEncodingAtItsBoundaries) {
  const struct {
    size_t size;
    Bytes bytes;
    bool reads_back;
  } cases[] = {
      {0, {0x00}, true},
      {253, {0xFD}, true},
      {254, {0xFE, 0xFE, 0x00}, true},
      {255, {0xFE, 0xFF, 0x00}, true},
      {65535, {0xFE, 0xFF, 0xFF}, true},
      {65536, {0xFF, 0x00, 0x00, 0x01, 0x00}, true},
      {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, true},
      // The format has no wider size: only the low 32 bits are written.
      {size_t{0x100000005}, {0xFF, 0x05, 0x00, 0x00, 0x00}, false},
  };
  const auto& serializer = StandardCodecSerializer::GetInstance();
  for (const auto& c : cases) {
    Bytes written;
    ByteBufferStreamWriter writer(&written);
    serializer.WriteSize(c.size, &writer);
    EXPECT_EQ(written, c.bytes) << c.size;
    if (c.reads_back) {
      ByteBufferStreamReader reader(c.bytes.data(), c.bytes.size());
      EXPECT_EQ(serializer.ReadSize(&reader), c.size);
    }
  }
}

TEST(StandardCodecSerializer, LongPayloadsUseTheWideSizes) {
  const struct {
    size_t length;
    Bytes size_bytes;
  } cases[] = {{253, {0xFD}}, {254, {0xFE, 0xFE, 0x00}}, {65536, {0xFF, 0x00, 0x00, 0x01, 0x00}}};
  for (const auto& c : cases) {
    std::string text(c.length, 'x');
    Bytes bytes = Encode(EncodableValue(text));
    ASSERT_EQ(bytes.size(), 1 + c.size_bytes.size() + c.length);
    EXPECT_EQ(Bytes(bytes.begin() + 1, bytes.begin() + 1 + c.size_bytes.size()), c.size_bytes);
    EXPECT_EQ(Decode(bytes), EncodableValue(text));

    Bytes payload(c.length, 0x5A);
    EXPECT_EQ(Decode(Encode(EncodableValue(payload))), EncodableValue(payload));
  }
}

TEST(StandardCodecSerializer, EveryAlternativeRoundTrips) {
  EncodableMap nested{
      {EncodableValue(EncodableList{EncodableValue(1), EncodableValue("k")}), EncodableValue(2)},
      {EncodableValue(EncodableMap{{"inner", EncodableValue(1.5)}}), EncodableValue()},
      {EncodableValue("frames"), EncodableValue(std::vector<float>{-0.0f, 1e-30f, 3.5f})},
  };
  const EncodableValue values[] = {
      EncodableValue(std::numeric_limits<int32_t>::min()),
      EncodableValue(std::numeric_limits<int64_t>::max()),
      EncodableValue(-1.25e-300),
      EncodableValue(std::numeric_limits<double>::infinity()),
      EncodableValue(std::string("\xFF\x00\x80", 3)),
      EncodableValue(std::vector<int32_t>{std::numeric_limits<int32_t>::min(), 0, 1}),
      EncodableValue(std::vector<int64_t>{std::numeric_limits<int64_t>::min(), -1}),
      EncodableValue(std::vector<double>{-0.0, 1e308}),
      EncodableValue(EncodableList{EncodableValue(true), EncodableValue(std::vector<int64_t>{}),
                                   EncodableValue(2.0), EncodableValue(EncodableList{})}),
      EncodableValue(nested),
  };
  for (const auto& value : values) {
    CerrCapture capture;
    EXPECT_EQ(Decode(Encode(value)), value);
    EXPECT_EQ(capture.text(), "");
  }
  // A quiet NaN keeps its bits.
  EncodableValue nan = Decode(Encode(EncodableValue(std::numeric_limits<double>::quiet_NaN())));
  ASSERT_NE(std::get_if<double>(&nan), nullptr);
  EXPECT_TRUE(std::isnan(std::get<double>(nan)));
}

TEST(StandardCodecSerializer, CustomValueIsWrittenAsNullWithADiagnostic) {
  CerrCapture capture;
  EncodableValue list(EncodableList{EncodableValue(CustomEncodableValue(7)), EncodableValue(1)});
  EXPECT_EQ(Encode(list), (Bytes{0x0C, 0x02, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(capture.lines(), (Lines{"Unhandled custom type in StandardCodecSerializer::WriteValue. "
                                    "Custom types require codec extensions."}));
}

struct ReadCase {
  const char* name;
  Bytes bytes;
  EncodableValue value;
  Lines lines;
};

TEST(StandardCodecSerializer, MalformedInputReadsAsTheDefinedValueWithItsDiagnostics) {
  const std::string invalid = kInvalidRead;
  const ReadCase cases[] = {
      {"duplicate keys: the first wins",
       {0x0D, 0x02, 0x07, 0x01, 0x61, 0x03, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x61, 0x03, 0x02,
        0x00, 0x00, 0x00},
       EncodableValue(EncodableMap{{"a", EncodableValue(1)}}),
       {}},
      {"tag 5 reads as text", {0x05, 0x02, 0x31, 0x32}, EncodableValue("12"), {}},
      {"trailing bytes are ignored", {0x01, 0x02, 0xFF}, EncodableValue(true), {}},
      {"empty message", {}, EncodableValue(), {invalid}},
      {"int32 cut short", {0x03, 0x01, 0x00}, EncodableValue(int32_t{0}), {invalid}},
      {"int64 cut short", {0x04, 1, 2, 3}, EncodableValue(int64_t{0}), {invalid}},
      {"double without its bytes", {0x06}, EncodableValue(0.0), {invalid}},
      {"size cut short", {0x07, 0xFE, 0x05}, EncodableValue(""), {invalid}},
      {"unknown tag 15",
       {0x0F},
       EncodableValue(),
       {"Unknown type in "
        "StandardCodecSerializer::ReadValueOfType: 15"}},
      {"unknown tag 255 consumes only itself",
       {0x0C, 0x02, 0xFF, 0x01},
       EncodableValue(EncodableList{EncodableValue(), EncodableValue(true)}),
       {"Unknown type in StandardCodecSerializer::ReadValueOfType: 255"}},
      {"int32 list cut short by its padding keeps its zeros",
       {0x09, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00},
       EncodableValue(std::vector<int32_t>{0}),
       {invalid}},
      {"empty int32 list without padding",
       {0x09, 0x00},
       EncodableValue(std::vector<int32_t>{}),
       {invalid}},
      {"empty double list without padding",
       {0x0B, 0x00, 0x00},
       EncodableValue(std::vector<double>{}),
       {invalid}},
      {"a failed element does not move the reader",
       {0x0C, 0x02, 0x03, 0x01, 0x00},
       EncodableValue(EncodableList{EncodableValue(int32_t{0}), EncodableValue(true)}),
       {invalid}},
      {"list missing its last element",
       {0x0C, 0x02, 0x01},
       EncodableValue(EncodableList{EncodableValue(true), EncodableValue()}),
       {invalid}},
      {"map missing a value",
       {0x0D, 0x01, 0x07, 0x01, 'k'},
       EncodableValue(EncodableMap{{"k", EncodableValue()}}),
       {invalid}},
      {"map missing all entries keeps one null entry",
       {0x0D, 0x02},
       EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}}),
       {invalid, invalid}},
  };
  for (const auto& c : cases) {
    CerrCapture capture;
    EXPECT_EQ(Decode(c.bytes), c.value) << c.name;
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
    const std::string text = capture.text();
    EXPECT_TRUE(text.empty() || text.back() == '\n') << c.name;
  }
}

// A declared size that the rest of the message cannot hold is not allocated: texts and numeric
// lists read as empty (the read fails, as it must, with its one diagnostic and nothing consumed);
// lists and maps keep what is there plus the one null element (entry) of the read that fails at
// the end, and drop the rest of the declared count.
TEST(StandardCodecSerializer, DeclaredSizesBeyondTheMessageAllocateNothing) {
  const std::string invalid = kInvalidRead;
  const Bytes huge = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // 4294967295
  const ReadCase cases[] = {
      {"text", Concat({{0x07}, huge, TextBytes("abc")}), EncodableValue(""), {invalid}},
      {"text longer than the rest", {0x07, 0x03, 'a'}, EncodableValue(""), {invalid}},
      {"large-int text", Concat({{0x05}, huge}), EncodableValue(""), {invalid}},
      {"byte list", Concat({{0x08}, huge, {1, 2}}), EncodableValue(Bytes{}), {invalid}},
      {"int32 list",
       Concat({{0x09}, huge, Bytes(16)}),
       EncodableValue(std::vector<int32_t>{}),
       {invalid}},
      {"int32 list one element too long",
       {0x09, 0x02, 0x00, 0x00, 1, 0, 0, 0},
       EncodableValue(std::vector<int32_t>{}),
       {invalid}},
      {"int64 list", Concat({{0x0A}, huge}), EncodableValue(std::vector<int64_t>{}), {invalid}},
      {"double list",
       Concat({{0x0B}, huge, Bytes(10)}),
       EncodableValue(std::vector<double>{}),
       {invalid}},
      {"float list", {0x0E, 0xFE, 0xFF, 0xFF}, EncodableValue(std::vector<float>{}), {invalid}},
      {"list", Concat({{0x0C}, huge}), EncodableValue(EncodableList{EncodableValue()}), {invalid}},
      {"list keeps what is there",
       Concat({{0x0C}, huge, {0x01, 0x03, 0x07, 0x00, 0x00, 0x00}}),
       EncodableValue(
           EncodableList{EncodableValue(true), EncodableValue(int32_t{7}), EncodableValue()}),
       {invalid}},
      {"list of three with one byte",
       {0x0C, 0x03, 0x01},
       EncodableValue(EncodableList{EncodableValue(true), EncodableValue()}),
       {invalid}},
      {"map",
       Concat({{0x0D}, huge, {0x07, 0x01, 'k', 0x02}}),
       EncodableValue(
           EncodableMap{{"k", EncodableValue(false)}, {EncodableValue(), EncodableValue()}}),
       {invalid, invalid}},
  };
  for (const auto& c : cases) {
    CerrCapture capture;
    EXPECT_EQ(Decode(c.bytes), c.value) << c.name;
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
  }
}

TEST(StandardCodecSerializer, AFailedOversizedReadConsumesNothing) {
  // The text's size is read, its bytes are not: the next value starts right after the size.
  const Bytes message = Concat({{0x0C, 0x02, 0x07, 0xFE, 0x00, 0x10}, {0x01}});
  CerrCapture capture;
  EXPECT_EQ(Decode(message),
            EncodableValue(EncodableList{EncodableValue(""), EncodableValue(true)}));
  EXPECT_EQ(capture.lines(), Lines{kInvalidRead});
}

TEST(StandardCodecSerializer, ManyOversizedTextsStayLinearInTheMessageSize) {
  // Each text claims 2 GiB and fails without being consumed; none may prepare storage for it.
  const size_t count = 2000;
  Bytes message = {0x0C, 0xFE, static_cast<uint8_t>(count & 0xFF),
                   static_cast<uint8_t>(count >> 8)};
  Bytes claim = {0x07, 0xFF, 0x00, 0x00, 0x00, 0x80};
  message = Concat({message, Repeat(claim, count)});
  CerrCapture capture;
  EncodableValue value = Decode(message);
  const auto* list = std::get_if<EncodableList>(&value);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->size(), count);
  for (const auto& element : *list) {
    ASSERT_EQ(element, EncodableValue(""));
  }
  EXPECT_EQ(capture.lines().size(), count);
}

size_t ListDepth(const EncodableValue& value) {
  size_t depth = 0;
  const EncodableValue* current = &value;
  while (const auto* list = std::get_if<EncodableList>(current)) {
    ++depth;
    if (list->empty()) {
      break;
    }
    current = &list->front();
  }
  return depth;
}

TEST(StandardCodecSerializer, NestingIsBoundedAt512Levels) {
  const struct {
    const char* name;
    Bytes bytes;
    size_t depth;  // Of the value read; 0 when it is null.
    Lines lines;
  } cases[] = {
      {"512 lists", Concat({Repeat({0x0C, 0x01}, 512), {0x01}}), 512, {}},
      {"513 lists", Concat({Repeat({0x0C, 0x01}, 513), {0x01}}), 0, {kTooDeep}},
      {"513 maps", Concat({Repeat({0x0D, 0x01, 0x00}, 513), {0x00}}), 0, {kTooDeep}},
      {"too deep beside a sibling",
       Concat({{0x0C, 0x02}, Repeat({0x0C, 0x01}, 600), {0x01}}),
       0,
       {kTooDeep}},
      {"a hundred thousand levels", Repeat({0x0C, 0x01}, 100000), 0, {kTooDeep}},
  };
  for (const auto& c : cases) {
    CerrCapture capture;
    EncodableValue value = Decode(c.bytes);
    EXPECT_EQ(value.IsNull(), c.depth == 0) << c.name;
    EXPECT_EQ(ListDepth(value), c.depth) << c.name;
    EXPECT_EQ(capture.lines(), c.lines) << c.name;
  }
}

TEST(StandardCodecSerializer, TheReaderGoesOnAfterATooDeepValue) {
  // Reading stops right after the tag of the 513th list; the list that follows is read anew,
  // from depth 0.
  const Bytes message = Concat({Repeat({0x0C, 0x01}, 512), {0x0C}, {0x0C, 0x01, 0x01}});
  ByteBufferStreamReader reader(message.data(), message.size());
  const auto& serializer = StandardCodecSerializer::GetInstance();
  CerrCapture capture;
  EXPECT_TRUE(serializer.ReadValue(&reader).IsNull());
  EXPECT_EQ(serializer.ReadValue(&reader), EncodableValue(EncodableList{EncodableValue(true)}));
  EXPECT_EQ(reader.RemainingBytes(), 0u);
  EXPECT_EQ(capture.lines(), Lines{kTooDeep});
}

// An extension serializer takes over a type in both directions and still reaches it inside lists,
// because the base calls itself virtually for nested values.
struct Point {
  int32_t x;
  int32_t y;
};

class PointSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kPointTag = 128;

  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    const auto* custom = std::get_if<CustomEncodableValue>(&value);
    if (custom == nullptr || custom->TryGet<Point>() == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    const Point& point = custom->Get<Point>();
    stream->WriteByte(kPointTag);
    StandardCodecSerializer::WriteValue(EncodableValue(point.x), stream);
    StandardCodecSerializer::WriteValue(EncodableValue(point.y), stream);
  }

  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type != kPointTag) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    EncodableValue x = ReadValue(stream);
    EncodableValue y = ReadValue(stream);
    return EncodableValue(CustomEncodableValue(Point{std::get<int32_t>(x), std::get<int32_t>(y)}));
  }
};

TEST(StandardCodecSerializer, ExtensionsSeeNestedValues) {
  PointSerializer serializer;
  EncodableValue value(
      EncodableList{EncodableValue(CustomEncodableValue(Point{3, -4})), EncodableValue("after")});
  Bytes bytes;
  ByteBufferStreamWriter writer(&bytes);
  CerrCapture capture;
  serializer.WriteValue(value, &writer);
  EXPECT_EQ(bytes, (Bytes{0x0C, 0x02, 0x80, 0x03, 0x03, 0x00, 0x00, 0x00, 0x03, 0xFC,
                          0xFF, 0xFF, 0xFF, 0x07, 0x05, 'a',  'f',  't',  'e',  'r'}));
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EncodableValue read = serializer.ReadValue(&reader);
  const auto& list = std::get<EncodableList>(read);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(std::get<CustomEncodableValue>(list[0]).Get<Point>().y, -4);
  EXPECT_EQ(list[1], EncodableValue("after"));
  EXPECT_EQ(capture.text(), "");
}

TEST(StandardCodecSerializer, SharedInstanceIsOneObject) {
  EXPECT_EQ(&StandardCodecSerializer::GetInstance(), &StandardCodecSerializer::GetInstance());
}

}  // namespace
}  // namespace flutter
