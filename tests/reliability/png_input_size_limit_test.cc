// Declared image sizes against the two limits on the way in: the decoder refuses an image whose
// BGRA pixels would exceed 256 MiB when it is created, and the recorder drops a frame whose even
// size exceeds 8192 x 8192 pixels before it makes room for the pixels. A size only the header
// vouches for must never cost more memory than the limits allow.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/media/png_maker.h"
#include "tests/recorder/recorder_test_support.h"
#include "tests/reliability/png_input_memory_watch.h"
#include "tests/reliability/png_input_support.h"
#include "windows_testing/imaging.h"

namespace halvex::reliability_testing {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kLimitBytes = 256 * kMiB;  // 8192 x 8192 pixels of 4 bytes
// Requests of a frame that is refused for its size: the copy of a small file, the imaging
// objects, the records of the stand-ins.
constexpr std::size_t kSmallRequest = kMiB;
// Resident growth allowed where nothing is allocated for the pixels; sanitizers' bookkeeping
// included.
constexpr std::size_t kSmallGrowth = 32 * kMiB;
constexpr std::uint32_t kMaxSide = 0x7FFFFFFF;
// Resident bytes per byte of memory the code touches: ThreadSanitizer adds four bytes of shadow
// to each; AddressSanitizer's eighth fits in the slack.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kResidentPerTouchedByte = 5;
#else
constexpr std::size_t kResidentPerTouchedByte = 1;
#endif

std::string SizeName(std::uint32_t width, std::uint32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

class SizeLimitTest : public ChannelRecordingTest {
 protected:
  // A real 16 x 12 PNG whose header declares another size, its image data far too short for it.
  static Bytes Declaring(std::uint32_t width, std::uint32_t height) {
    media_testing::PngSpec format;
    format.width = 16;
    format.height = 12;
    return WithDeclaredSize(media_testing::MakeTestPng(format).file, width, height);
  }

  // A good frame after the hostile ones: the recording must still take it.
  void ExpectAGoodFrameIsTaken(std::int32_t frames_before) {
    const Bytes pixels = testing_support::SolidBgra(16, 12, {0x10, 0x80, 0xF0, 0xFF});
    EXPECT_EQ(Append(media_testing::EncodeBgraPng(16, 12, pixels)), frames_before + 1);
    const std::vector<testing::RecordedSample> samples = VideoSamples();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.back().bytes, ExpectedNv12(pixels, 16, 12));
  }
};

TEST_F(SizeLimitTest, SizesOverTheDecoderLimitAreRefusedWithoutAllocating) {
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes = {
      {8193, 8192},          // one column over 256 MiB
      {8192, 8193},          // one row over
      {16385, 4096},         // over with rows of 64 KiB
      {100000, 100000},      // 40 GB
      {kMaxSide, 1},         // the widest a PNG may be
      {1, kMaxSide},         // the highest
      {kMaxSide, kMaxSide},  // both
      {65536, 65536},        // 2^34 bytes: 0 in 32-bit arithmetic
      {32768, 32768},        // 2^32 bytes: 0 in 32-bit arithmetic
      {1u << 30, 4},         // 2^34 bytes in rows of 2^32
      {46341, 46341},        // pixel count over 2^31
      {67108865, 1},         // 2^26 + 1 pixels in one row
  };

  ASSERT_TRUE(StartRecording());
  for (const auto& [width, height] : sizes) {
    SCOPED_TRACE(SizeName(width, height));
    const Bytes png = Declaring(width, height);
    testing::ResetImaging();
    testing::DecodeRealImages();
    MemoryWatch watch;
    EXPECT_EQ(Append(png), 0);
    EXPECT_LT(watch.LargestRequest(), kSmallRequest);
    if (const std::optional<std::size_t> growth = watch.ResidentPeakGrowth()) {
      EXPECT_LT(*growth, kSmallGrowth);
    }
    const testing::ImagingCalls calls = testing::RecordedImagingCalls();
    ASSERT_EQ(calls.decoders.size(), 1u);
    EXPECT_EQ(calls.decoders[0].result, WINCODEC_ERR_IMAGESIZEOUTOFRANGE);
    EXPECT_TRUE(calls.copies.empty());
  }
  ExpectAGoodFrameIsTaken(0);
}

// A size at the decoder's limit opens; its data, far too short, fails the copy, and neither the
// decoder nor the recorder asked for more than the limit on the way.
TEST_F(SizeLimitTest, ASizeAtTheDecoderLimitIsDecodedNoFurther) {
  ASSERT_TRUE(StartRecording());
  const Bytes png = Declaring(8192, 8192);
  testing::ResetImaging();
  testing::DecodeRealImages();
  {
    MemoryWatch watch;
    EXPECT_EQ(Append(png), 0);
    // Equal, not only at most: the watch must see the allocations it vouches for.
    EXPECT_EQ(watch.LargestRequest(), kLimitBytes);
    if (const std::optional<std::size_t> growth = watch.ResidentPeakGrowth()) {
      EXPECT_LT(*growth, 2 * kLimitBytes * kResidentPerTouchedByte + kSmallGrowth);
    }
  }
  EXPECT_EQ(OutcomeOfRecordedCalls(), FrameOutcome::kPixelsRefused);
  const testing::ImagingCalls calls = testing::RecordedImagingCalls();
  ASSERT_EQ(calls.copies.size(), 1u);
  EXPECT_EQ(calls.copies[0].buffer_size, kLimitBytes);
  ExpectAGoodFrameIsTaken(0);
}

// Scripted images reach the recorder with any size without the decoder's limit and without
// pixels: a copy asked for shows that the recorder made room for the frame; the copy fails, so
// the room is never touched.
TEST_F(SizeLimitTest, TheRecorderMakesRoomOnlyForFramesWithinItsLimit) {
  struct Case {
    std::uint32_t width;
    std::uint32_t height;
    bool room_made;
  };
  const std::vector<Case> cases = {
      {8192, 8192, true},           // exactly the limit
      {8193, 8193, true},           // even size 8192 x 8192
      {8194, 8192, false},          // two columns over
      {8192, 8194, false},          // two rows over
      {33554432, 2, true},          // 2^26 pixels in two rows
      {2, 33554432, true},          // 2^26 pixels in two columns
      {33554434, 2, false},         // four pixels over
      {2, 33554434, false},         // four pixels over
      {65536, 65536, false},        // 2^34 bytes: 0 in 32-bit arithmetic
      {kMaxSide, kMaxSide, false},  // the largest a header may declare
      {kMaxSide, 2, false},         // rows of 8 GiB
      {1, kMaxSide, false},         // narrower than 2 pixels
  };

  ASSERT_TRUE(StartRecording());
  std::uint32_t tag = 0x50000000;
  for (const Case& c : cases) {
    SCOPED_TRACE(SizeName(c.width, c.height));
    testing::ResetImaging();
    const Bytes png = testing::PngLikeBytes(++tag);
    ASSERT_TRUE(testing::ScriptImageFailure(png, "IWICFormatConverter::CopyPixels",
                                            WINCODEC_ERR_BADSTREAMDATA, c.width, c.height));
    MemoryWatch watch;
    EXPECT_EQ(Append(png), 0);
    const testing::ImagingCalls calls = testing::RecordedImagingCalls();
    if (c.room_made) {
      const std::uint64_t stride = 4 * std::uint64_t{c.width & ~1u};
      ASSERT_EQ(calls.copies.size(), 1u);
      EXPECT_EQ(calls.copies[0].stride, stride);
      EXPECT_EQ(calls.copies[0].buffer_size, stride * (c.height & ~1u));
      EXPECT_EQ(watch.LargestRequest(), kLimitBytes);
    } else {
      EXPECT_TRUE(calls.copies.empty());
      EXPECT_LT(watch.LargestRequest(), kSmallRequest);
    }
    // Room made is never touched, but a sanitizer may map the shadow of up to all of it.
    const std::size_t allowed = c.room_made ? kLimitBytes + kSmallGrowth : kSmallGrowth;
    if (const std::optional<std::size_t> growth = watch.ResidentPeakGrowth()) {
      EXPECT_LT(*growth, allowed);
    }
  }
  testing::DecodeRealImages();
  ExpectAGoodFrameIsTaken(0);
}

}  // namespace
}  // namespace halvex::reliability_testing
