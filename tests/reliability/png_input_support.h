// Hostile PNG input sent through the recorder channel: files damaged chunk by chunk, images in
// the formats a decoder finds hard, the NV12 a correct path makes of their pixels, and a fixture
// that drives the process's recorder through "start", "appendPng" and "stop".
#ifndef HALVEX_TESTS_RELIABILITY_PNG_INPUT_SUPPORT_H_
#define HALVEX_TESTS_RELIABILITY_PNG_INPUT_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/media/png_maker.h"
#include "windows_testing/media_foundation.h"

namespace halvex::reliability_testing {

using Bytes = std::vector<std::uint8_t>;

// The first `length` bytes of `file`.
Bytes Cut(const Bytes& file, std::size_t length);
// `file` with `insert` placed at `offset`.
Bytes Splice(const Bytes& file, std::size_t offset, const Bytes& insert);
// `file` without the chunk.
Bytes WithoutChunk(const Bytes& file, const media_testing::PngChunk& chunk);
// `file` with one bit of the chunk's stored CRC flipped.
Bytes WithBadCrc(const Bytes& file, const media_testing::PngChunk& chunk);
// `file` whose header declares `width` × `height`, its CRC made right again.
Bytes WithDeclaredSize(const Bytes& file, std::uint32_t width, std::uint32_t height);
// Four bytes of `value`, most significant first, as PNG numbers are stored.
Bytes BigEndian32(std::uint32_t value);

// A 16-bit grey (media_testing::kGray, taking the green byte) or RGBA PNG whose every sample is
// the matching byte of `bgra` times 257: rounding and truncating decoders agree on its 8-bit
// colours, which are exactly `bgra`.
Bytes Encode16BitPng(std::uint32_t width,
                     std::uint32_t height,
                     std::uint8_t color_type,
                     const Bytes& bgra,
                     bool interlaced);

// `default_image` made an animation of two frames: acTL and the first fcTL before its image
// data, then a second fcTL and an fdAT carrying the image data of `second_image` (same size).
Bytes Animated(const Bytes& default_image, const Bytes& second_image);

// The top-left `width` × `height` pixels of BGRA rows `stride_width` pixels wide.
Bytes Crop(const Bytes& bgra,
           std::uint32_t stride_width,
           std::uint32_t width,
           std::uint32_t height);

// NV12 of even-sized BGRA pixels as the recorder's writer must receive it: BT.601 studio range in
// integers, rows padded with zeros to the width rounded up to 16.
Bytes ExpectedNv12(const Bytes& bgra, std::uint32_t width, std::uint32_t height);

// How far one frame got, read from the imaging calls recorded while it was appended.
enum class FrameOutcome {
  kNotDecoded,      // no decoder was asked for: the recorder refused the bytes themselves
  kDecoderRefused,  // IWICImagingFactory::CreateDecoderFromStream failed (signature, header)
  kFrameRefused,    // IWICBitmapDecoder::GetFrame failed (chunks before the image data)
  kSizeRefused,     // the image opened, but the recorder took no copy of a size it cannot use
  kPixelsRefused,   // CopyPixels failed (the image data)
  kDecoded,         // the pixels were copied
};
const char* Describe(FrameOutcome outcome);
FrameOutcome OutcomeOfRecordedCalls();

// Drives DesktopRecorder::Instance() through the channel, with the real PNG decoder, writers that
// only record (keeping every sample's bytes) and no audio. Every test must leave no COM object
// and no task memory behind once the recording is stopped.
class ChannelRecordingTest : public ::testing::Test {
 protected:
  static constexpr std::int64_t kFrameDuration = 333333;  // at 30 frames per second

  void SetUp() override;
  void TearDown() override;

  // Answers "start" at 30 frames per second without audio; false if the answer is not the
  // documented success.
  bool StartRecording();
  // Sends the bytes with "appendPng"; the answer's "frames", or -1 if the answer is not a single
  // success of the documented shape.
  std::int32_t Append(const Bytes& png);
  // Answers "stop"; its "frames", or -1 as for Append.
  std::int32_t StopRecording();

  // The video samples of the one writer the recording opened (empty if it opened none).
  static std::vector<testing::RecordedSample> VideoSamples();
  // The frame size the writer's video input type declares, or 0 × 0.
  static std::pair<std::uint32_t, std::uint32_t> VideoFrameSize();

 private:
  std::map<std::string, int> liveBefore_;
  int taskMemoryBefore_ = 0;
  int overReleasesBefore_ = 0;
  int releasedCallsBefore_ = 0;
};

}  // namespace halvex::reliability_testing

#endif  // HALVEX_TESTS_RELIABILITY_PNG_INPUT_SUPPORT_H_
