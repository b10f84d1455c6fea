#include "tests/reliability/png_input_support.h"

#include <mfapi.h>
#include <spng.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>
#include <variant>

#include "messaging/encodable_value.h"
#include "tests/recorder/channel_test_support.h"
#include "windows_testing/audio.h"
#include "windows_testing/com.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"

namespace halvex::reliability_testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using media_testing::PngChunk;
using testing_support::Answer;

struct EncoderDeleter {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using Encoder = std::unique_ptr<spng_ctx, EncoderDeleter>;

void WriteBigEndian32(std::uint32_t value, std::uint8_t* bytes) {
  const Bytes stored = BigEndian32(value);
  std::copy(stored.begin(), stored.end(), bytes);
}

// The formulas keep every result within a byte.
std::uint8_t AsByte(int value) {
  return static_cast<std::uint8_t>(value);
}

// The "frames" of a success answer shaped as the channel documents it, or -1.
std::int32_t FramesOf(const Answer& answer) {
  if (answer.answers != 1 || answer.kind != Answer::Kind::kSuccess) {
    ADD_FAILURE() << "not a single success: kind " << static_cast<int>(answer.kind) << ", code "
                  << answer.code << ", " << answer.answers << " answers";
    return -1;
  }
  const auto* map = std::get_if<EncodableMap>(&answer.value);
  const EncodableValue* frames = nullptr;
  if (map != nullptr) {
    const auto found = map->find(EncodableValue("frames"));
    frames = found == map->end() ? nullptr : &found->second;
  }
  const auto* count = frames == nullptr ? nullptr : std::get_if<std::int32_t>(frames);
  if (count == nullptr) {
    ADD_FAILURE() << "the answer carries no 32-bit \"frames\"";
    return -1;
  }
  // No audio is enabled, so the report must be exactly this.
  EXPECT_EQ(answer.value, testing_support::FrameReport(*count, false));
  return *count;
}

std::optional<testing::RecordedSinkWriter> OnlyWriter() {
  const std::vector<testing::RecordedSinkWriter> writers = testing::SinkWriters();
  EXPECT_LE(writers.size(), 1u) << "one recording opens at most one writer";
  if (writers.empty()) {
    return std::nullopt;
  }
  return writers.front();
}

std::optional<DWORD> VideoStreamIndex(const testing::RecordedSinkWriter& writer) {
  for (DWORD index = 0; index < writer.streams.size(); ++index) {
    const std::optional<GUID> major =
        testing::FindGUID(writer.streams[index].output_type, MF_MT_MAJOR_TYPE);
    if (major && IsEqualGUID(*major, MFMediaType_Video)) {
      return index;
    }
  }
  return std::nullopt;
}

}  // namespace

Bytes Cut(const Bytes& file, std::size_t length) {
  return Bytes(file.begin(), file.begin() + static_cast<long>(std::min(length, file.size())));
}

Bytes Splice(const Bytes& file, std::size_t offset, const Bytes& insert) {
  Bytes result = Cut(file, offset);
  result.insert(result.end(), insert.begin(), insert.end());
  result.insert(result.end(), file.begin() + static_cast<long>(offset), file.end());
  return result;
}

Bytes WithoutChunk(const Bytes& file, const PngChunk& chunk) {
  Bytes result = Cut(file, chunk.offset);
  result.insert(result.end(), file.begin() + static_cast<long>(chunk.end()), file.end());
  return result;
}

Bytes WithBadCrc(const Bytes& file, const PngChunk& chunk) {
  Bytes result = file;
  result[chunk.end() - 1] ^= 0x01;
  return result;
}

Bytes WithDeclaredSize(const Bytes& file, std::uint32_t width, std::uint32_t height) {
  Bytes result = file;
  const PngChunk header = media_testing::FindChunk(result, "IHDR");
  WriteBigEndian32(width, result.data() + header.data_offset());
  WriteBigEndian32(height, result.data() + header.data_offset() + 4);
  media_testing::FixCrc(&result, header);
  return result;
}

Bytes BigEndian32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Encode16BitPng(std::uint32_t width,
                     std::uint32_t height,
                     std::uint8_t color_type,
                     const Bytes& bgra,
                     bool interlaced) {
  const bool grey = color_type == media_testing::kGray;
  const std::size_t channels = grey ? 1 : 4;
  // v × 257 has equal high and low bytes, so the byte order of the samples does not matter.
  Bytes raw;
  raw.reserve(std::size_t{width} * height * channels * 2);
  for (std::size_t pixel = 0; pixel < std::size_t{width} * height; ++pixel) {
    const std::uint8_t* p = bgra.data() + pixel * 4;
    const std::vector<std::uint8_t> samples =
        grey ? std::vector<std::uint8_t>{p[1]} : std::vector<std::uint8_t>{p[2], p[1], p[0], p[3]};
    for (const std::uint8_t sample : samples) {
      raw.push_back(sample);
      raw.push_back(sample);
    }
  }
  Encoder encoder(spng_ctx_new(SPNG_CTX_ENCODER));
  spng_set_option(encoder.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr header{};
  header.width = width;
  header.height = height;
  header.bit_depth = 16;
  header.color_type = color_type;
  header.interlace_method = interlaced ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE;
  if (spng_set_ihdr(encoder.get(), &header) != 0 ||
      spng_encode_image(encoder.get(), raw.data(), raw.size(), SPNG_FMT_PNG,
                        SPNG_ENCODE_FINALIZE) != 0) {
    throw std::runtime_error("the encoder refused a 16-bit image");
  }
  std::size_t size = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(encoder.get(), &size, &error);
  if (buffer == nullptr) {
    throw std::runtime_error("the encoder produced nothing");
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  Bytes file(bytes, bytes + size);
  std::free(buffer);
  return file;
}

Bytes Animated(const Bytes& default_image, const Bytes& second_image) {
  const PngChunk header = media_testing::FindChunk(default_image, "IHDR");
  const Bytes size(default_image.begin() + static_cast<long>(header.data_offset()),
                   default_image.begin() + static_cast<long>(header.data_offset() + 8));
  auto frame_control = [&](std::uint32_t sequence) {
    Bytes data = BigEndian32(sequence);
    data.insert(data.end(), size.begin(), size.end());
    data.insert(data.end(), 8, 0);                 // at the origin
    data.insert(data.end(), {0, 1, 0, 10, 0, 0});  // 1/10 s, no dispose, no blend
    return media_testing::MakeChunk("fcTL", data);
  };
  Bytes animation_control = BigEndian32(2);  // two frames
  const Bytes plays = BigEndian32(0);        // forever
  animation_control.insert(animation_control.end(), plays.begin(), plays.end());

  Bytes before_image = media_testing::MakeChunk("acTL", animation_control);
  const Bytes first_control = frame_control(0);
  before_image.insert(before_image.end(), first_control.begin(), first_control.end());

  const PngChunk second_data = media_testing::FindChunk(second_image, "IDAT");
  Bytes frame_data = BigEndian32(2);
  frame_data.insert(
      frame_data.end(), second_image.begin() + static_cast<long>(second_data.data_offset()),
      second_image.begin() + static_cast<long>(second_data.data_offset() + second_data.length));
  Bytes after_image = frame_control(1);
  const Bytes frame_chunk = media_testing::MakeChunk("fdAT", frame_data);
  after_image.insert(after_image.end(), frame_chunk.begin(), frame_chunk.end());

  const PngChunk image_data = media_testing::FindChunk(default_image, "IDAT");
  Bytes animated = Splice(default_image, image_data.end(), after_image);
  return Splice(animated, image_data.offset, before_image);
}

Bytes Crop(const Bytes& bgra,
           std::uint32_t stride_width,
           std::uint32_t width,
           std::uint32_t height) {
  Bytes cropped;
  for (std::uint32_t y = 0; y < height; ++y) {
    const auto row = bgra.begin() + static_cast<long>(std::size_t{y} * stride_width * 4);
    cropped.insert(cropped.end(), row, row + static_cast<long>(width) * 4);
  }
  return cropped;
}

Bytes ExpectedNv12(const Bytes& bgra, std::uint32_t width, std::uint32_t height) {
  const std::size_t pitch = (width + 15) & ~15u;
  Bytes nv12(pitch * (height + height / 2), 0);
  auto at = [&](std::uint32_t x, std::uint32_t y, int channel) {
    return int{bgra[(std::size_t{y} * width + x) * 4 + static_cast<std::size_t>(channel)]};
  };
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const int b = at(x, y, 0);
      const int g = at(x, y, 1);
      const int r = at(x, y, 2);
      nv12[y * pitch + x] = AsByte(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
    }
  }
  for (std::uint32_t y = 0; y < height; y += 2) {
    for (std::uint32_t x = 0; x < width; x += 2) {
      int sums[3] = {0, 0, 0};
      for (std::uint32_t dy = 0; dy < 2; ++dy) {
        for (std::uint32_t dx = 0; dx < 2; ++dx) {
          for (int channel = 0; channel < 3; ++channel) {
            sums[channel] += at(x + dx, y + dy, channel);
          }
        }
      }
      const int b = sums[0] / 4;
      const int g = sums[1] / 4;
      const int r = sums[2] / 4;
      const std::size_t chroma = pitch * height + (y / 2) * pitch + x;
      nv12[chroma] = AsByte(((112 * b - 74 * g - 38 * r + 128) >> 8) + 128);
      nv12[chroma + 1] = AsByte(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
    }
  }
  return nv12;
}

const char* Describe(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::kNotDecoded:
      return "not decoded";
    case FrameOutcome::kDecoderRefused:
      return "decoder refused";
    case FrameOutcome::kFrameRefused:
      return "frame refused";
    case FrameOutcome::kSizeRefused:
      return "size refused";
    case FrameOutcome::kPixelsRefused:
      return "pixels refused";
    case FrameOutcome::kDecoded:
      return "decoded";
  }
  return "?";
}

FrameOutcome OutcomeOfRecordedCalls() {
  const testing::ImagingCalls calls = testing::RecordedImagingCalls();
  if (calls.decoders.empty()) {
    return FrameOutcome::kNotDecoded;
  }
  if (FAILED(calls.decoders.back().result)) {
    return FrameOutcome::kDecoderRefused;
  }
  // The converter is initialised only on a frame that opened.
  if (calls.converter_initializations.empty()) {
    return FrameOutcome::kFrameRefused;
  }
  if (calls.copies.empty()) {
    return FrameOutcome::kSizeRefused;
  }
  return FAILED(calls.copies.back().result) ? FrameOutcome::kPixelsRefused : FrameOutcome::kDecoded;
}

void ChannelRecordingTest::SetUp() {
  testing::ResetFaults();
  // A recording an earlier test left running would own writers this test did not make.
  StopRecording();
  testing::ResetMediaFoundation();
  testing::ResetImaging();
  testing::DecodeRealImages();
  testing::ResetAudio();
  liveBefore_ = testing::LiveObjectCounts();
  taskMemoryBefore_ = testing::LiveTaskMemAllocations();
  overReleasesBefore_ = testing::OverReleases();
  releasedCallsBefore_ = testing::CallsOnReleasedObjects();
}

void ChannelRecordingTest::TearDown() {
  StopRecording();
  EXPECT_EQ(testing::LiveObjectCounts(), liveBefore_);
  EXPECT_EQ(testing::LiveTaskMemAllocations(), taskMemoryBefore_);
  EXPECT_EQ(testing::OverReleases(), overReleasesBefore_);
  EXPECT_EQ(testing::CallsOnReleasedObjects(), releasedCallsBefore_);
  testing::ResetImaging();
  testing::DecodeRealImages();
  testing::ResetAudio();
}

bool ChannelRecordingTest::StartRecording() {
  const Answer answer = testing_support::CallRecorder(
      "start", EncodableValue(EncodableMap{
                   {EncodableValue("path"), EncodableValue("png_input.mp4")},
                   {EncodableValue("fps"), EncodableValue(30)},
                   {EncodableValue("enableAudio"), EncodableValue(false)},
               }));
  const EncodableValue expected(
      EncodableMap{{EncodableValue("hasAudioTrack"), EncodableValue(false)}});
  EXPECT_EQ(answer.answers, 1);
  EXPECT_EQ(answer.kind, Answer::Kind::kSuccess) << answer.code << ": " << answer.message;
  EXPECT_EQ(answer.value, expected);
  return answer.answers == 1 && answer.kind == Answer::Kind::kSuccess && answer.value == expected;
}

std::int32_t ChannelRecordingTest::Append(const Bytes& png) {
  return FramesOf(testing_support::CallRecorder(
      "appendPng", EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(png)}})));
}

std::int32_t ChannelRecordingTest::StopRecording() {
  return FramesOf(testing_support::CallRecorder("stop", EncodableValue()));
}

std::vector<testing::RecordedSample> ChannelRecordingTest::VideoSamples() {
  const std::optional<testing::RecordedSinkWriter> writer = OnlyWriter();
  const std::optional<DWORD> stream = writer ? VideoStreamIndex(*writer) : std::nullopt;
  std::vector<testing::RecordedSample> samples;
  if (stream) {
    for (const testing::RecordedSample& sample : writer->samples) {
      if (sample.stream_index == *stream) {
        samples.push_back(sample);
      }
    }
  }
  return samples;
}

std::pair<std::uint32_t, std::uint32_t> ChannelRecordingTest::VideoFrameSize() {
  const std::optional<testing::RecordedSinkWriter> writer = OnlyWriter();
  const std::optional<DWORD> stream = writer ? VideoStreamIndex(*writer) : std::nullopt;
  if (!stream || !writer->streams[*stream].input_type) {
    return {0, 0};
  }
  const std::optional<UINT64> size =
      testing::FindUINT64(*writer->streams[*stream].input_type, MF_MT_FRAME_SIZE);
  if (!size) {
    return {0, 0};
  }
  return {static_cast<std::uint32_t>(*size >> 32), static_cast<std::uint32_t>(*size)};
}

}  // namespace halvex::reliability_testing
