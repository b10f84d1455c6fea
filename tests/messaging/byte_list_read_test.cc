// Reading a byte list in one piece: the reader over memory copies it without filling it first, and
// must still fail exactly as ReadBytes does.
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

// A reader that only has the required operations, so the list is read through the default.
class PlainReader : public ByteStreamReader {
 public:
  explicit PlainReader(const Bytes& bytes) : inner_(bytes.data(), bytes.size()) {}
  uint8_t ReadByte() override { return inner_.ReadByte(); }
  void ReadBytes(uint8_t* buffer, size_t length) override { inner_.ReadBytes(buffer, length); }
  void ReadAlignment(uint8_t alignment) override { inner_.ReadAlignment(alignment); }
  size_t RemainingBytes() const override { return inner_.RemainingBytes(); }

 private:
  ByteBufferStreamReader inner_;
};

TEST(ReadByteList, GivesTheBytesOrFailsLikeReadBytes) {
  const Bytes data = {1, 2, 3, 4, 5};
  const struct {
    const char* name;
    size_t skip;
    uint8_t alignment;
    size_t length;
    Bytes expected;
    bool fails;
    size_t remaining_after;
  } cases[] = {
      {"all bytes", 0, 1, 5, {1, 2, 3, 4, 5}, false, 0},
      {"the middle", 1, 1, 3, {2, 3, 4}, false, 1},
      {"none at the end", 5, 1, 0, {}, false, 0},
      {"one too many: zeros, nothing consumed", 2, 1, 4, {0, 0, 0, 0}, true, 3},
      {"none past the end", 5, 8, 0, {}, true, 0},
  };
  for (const bool plain : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (plain ? " (default)" : " (memory reader)"));
      ByteBufferStreamReader memory(data.data(), data.size());
      PlainReader other(data);
      ByteStreamReader& reader = plain ? static_cast<ByteStreamReader&>(other) : memory;
      Bytes skipped(c.skip);
      reader.ReadBytes(skipped.data(), skipped.size());
      reader.ReadAlignment(c.alignment);
      CerrCapture capture;
      EXPECT_EQ(reader.ReadByteList(c.length), c.expected);
      EXPECT_EQ(capture.lines(),
                c.fails ? std::vector<std::string>{kInvalidRead} : std::vector<std::string>{});
      EXPECT_EQ(reader.RemainingBytes(), c.remaining_after);
    }
  }
}

}  // namespace
}  // namespace flutter
