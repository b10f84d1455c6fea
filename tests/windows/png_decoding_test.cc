// The Imaging Component's PNG decoding as the recorder uses it, checked pixel by pixel against
// what each fixture holds. The same test runs on Windows and against the stand-in.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/windows/png_decoding.h"
#include "tests/windows/png_fixtures.h"

namespace halvex::testing {
namespace {

class PngDecodingTest : public ::testing::TestWithParam<PngFixture> {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
};

TEST_P(PngDecodingTest, DecodesToTheFixturePixels) {
  const PngFixture& fixture = GetParam();
  const DecodedPng decoded = DecodePngToBgra(EncodeFixture(fixture));
  ASSERT_EQ(decoded.failure, "");
  EXPECT_EQ(decoded.width, static_cast<uint32_t>(fixture.width));
  EXPECT_EQ(decoded.height, static_cast<uint32_t>(fixture.height));
  const std::vector<uint8_t> expected = ExpectedBgra(fixture);
  if (expected.empty()) {
    // 16-bit samples: how they become 8 bits is the decoder's choice; the cross-system comparison
    // checks those. Here only the size and the opaque or transparent alpha are fixed.
    ASSERT_EQ(decoded.bgra.size(), static_cast<size_t>(fixture.width) * fixture.height * 4);
    return;
  }
  ASSERT_EQ(decoded.bgra.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(decoded.bgra[i], expected[i])
        << "pixel " << i / 4 << " (x " << (i / 4) % static_cast<size_t>(fixture.width) << ", y "
        << (i / 4) / static_cast<size_t>(fixture.width) << "), byte " << i % 4 << " of BGRA";
  }
}

TEST(PngDecodingFailureTest, BrokenFilesFailAtTheirStep) {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const std::vector<uint8_t> valid = EncodeFixture(AllPngFixtures().front());
  std::vector<uint8_t> badCrc = valid;
  badCrc[29] ^= 0xFF;  // the IHDR chunk's CRC
  std::vector<uint8_t> truncated(valid.begin(), valid.begin() + 40);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"signature only", std::vector<uint8_t>(valid.begin(), valid.begin() + 8)},
      {"not a png", std::vector<uint8_t>(64, 0x42)},
      {"truncated image data", truncated},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(DecodePngToBgra(c.bytes).failure, "");
  }
}

std::string FixtureName(const ::testing::TestParamInfo<PngFixture>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures,
                         PngDecodingTest,
                         ::testing::ValuesIn(AllPngFixtures()),
                         FixtureName);

}  // namespace
}  // namespace halvex::testing
