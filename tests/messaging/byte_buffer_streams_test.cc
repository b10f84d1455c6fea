#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "messaging/byte_buffer_streams.h"
#include "tests/messaging/codec_test_helpers.h"
#include "tests/support/cerr_capture.h"

namespace flutter {
namespace {

using halvex::testing::CerrCapture;
using test::Bytes;
using test::kInvalidRead;

TEST(ByteBufferStreamReader, ReadsAreAllOrNothingAndLeaveTheDestinationAlone) {
  const Bytes data = {1, 2, 3, 4, 5};
  const struct {
    const char* name;
    size_t skip;  // Bytes read before the read under test.
    size_t alignment;
    size_t length;
    bool succeeds;
    size_t remaining_after;
  } cases[] = {
      {"all bytes", 0, 1, 5, true, 0},
      {"one too many", 0, 1, 6, false, 5},
      {"zero bytes at the end", 5, 1, 0, true, 0},
      {"zero bytes past the end", 5, 8, 0, false, 0},
      {"after alignment", 1, 4, 1, true, 0},
      {"alignment already met", 4, 4, 1, true, 0},
      {"length that would wrap", 1, 1, SIZE_MAX, false, 4},
  };
  for (const auto& c : cases) {
    ByteBufferStreamReader reader(data.data(), data.size());
    Bytes skipped(c.skip);
    reader.ReadBytes(skipped.data(), skipped.size());
    reader.ReadAlignment(static_cast<uint8_t>(c.alignment));
    CerrCapture capture;
    uint8_t destination[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    reader.ReadBytes(c.succeeds ? destination : nullptr, c.length);
    EXPECT_EQ(capture.lines(),
              c.succeeds ? std::vector<std::string>{} : std::vector<std::string>{kInvalidRead})
        << c.name;
    EXPECT_EQ(reader.RemainingBytes(), c.remaining_after) << c.name;
    if (c.succeeds && c.length > 0) {
      EXPECT_EQ(destination[0], data[data.size() - c.remaining_after - c.length]) << c.name;
      EXPECT_EQ(destination[c.length], 0xEE) << c.name;
    }
  }
}

TEST(ByteBufferStreamReader, ReadByteAtTheEndReturnsZeroAndStays) {
  const Bytes data = {0x7F};
  ByteBufferStreamReader reader(data.data(), data.size());
  CerrCapture capture;
  EXPECT_EQ(reader.ReadByte(), 0x7F);
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(reader.ReadByte(), 0);
  EXPECT_EQ(capture.lines(), (std::vector<std::string>{kInvalidRead, kInvalidRead}));
}

TEST(ByteBufferStreamWriter, PadsFromTheStartOfTheBufferWithZeros) {
  const struct {
    size_t existing;
    uint8_t alignment;
    size_t size_after;
  } cases[] = {{0, 8, 0}, {1, 8, 8}, {3, 4, 4}, {4, 4, 4}, {9, 8, 16}, {5, 1, 5}};
  for (const auto& c : cases) {
    Bytes buffer(c.existing, 0xAB);
    ByteBufferStreamWriter writer(&buffer);
    writer.WriteAlignment(c.alignment);
    ASSERT_EQ(buffer.size(), c.size_after) << c.existing << "/" << int{c.alignment};
    for (size_t i = c.existing; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], 0x00);
    }
  }
  Bytes buffer;
  ByteBufferStreamWriter writer(&buffer);
  writer.WriteBytes(nullptr, 0);
  writer.WriteByte(9);
  const uint8_t more[] = {1, 2};
  writer.WriteBytes(more, 2);
  EXPECT_EQ(buffer, (Bytes{9, 1, 2}));
}

}  // namespace
}  // namespace flutter
