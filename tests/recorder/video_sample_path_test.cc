#include <mfapi.h>

#include <vector>

#include "recorder/nv12.h"
#include "tests/recorder/recorder_test_support.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using testing_support::SolidBgra;

constexpr std::array<uint8_t, 4> kRed = {0, 0, 255, 255};
constexpr std::array<uint8_t, 4> kBlue = {255, 0, 0, 255};

std::vector<mf::RecordedSample> VideoSamples() {
  std::vector<mf::RecordedSample> samples;
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  for (const mf::RecordedSample& sample : writers.at(0).samples) {
    if (sample.stream_index == 0) {
      samples.push_back(sample);
    }
  }
  return samples;
}

using VideoSamplePathTest = RecorderTest;

TEST_F(VideoSamplePathTest, FramesAreStampedByIndexAndRate) {
  const struct {
    double fps;
    LONGLONG duration;
  } cases[] = {{30.0, 333333}, {29.97, 333667}, {0.5, 10000000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fps);
    mf::ResetMediaFoundation();
    StartRecording(c.fps);
    for (int frame = 0; frame < 4; ++frame) {
      AppendFrame();
    }
    const std::vector<mf::RecordedSample> samples = VideoSamples();
    ASSERT_EQ(samples.size(), 4u);
    for (size_t i = 0; i < samples.size(); ++i) {
      EXPECT_EQ(samples[i].time, static_cast<LONGLONG>(i) * c.duration);
      EXPECT_EQ(samples[i].duration, c.duration);
    }
    recorder().Stop();
  }
}

TEST_F(VideoSamplePathTest, AFailedStepDropsTheFrameAndFreesItsTimeSlot) {
  const char* const calls[] = {"MFCreateSample",
                               "MFCreateMemoryBuffer",
                               "IMFMediaBuffer::Lock",
                               "IMFMediaBuffer::SetCurrentLength",
                               "IMFSample::AddBuffer",
                               "IMFSample::SetSampleTime",
                               "IMFSample::SetSampleDuration",
                               "IMFSinkWriter::WriteSample"};
  for (const char* call : calls) {
    SCOPED_TRACE(call);
    mf::ResetMediaFoundation();
    mf::ResetFaults();
    StartRecording(30.0);
    EXPECT_EQ(AppendFrame(), 1);
    mf::FailCall(call, E_FAIL, 1);
    EXPECT_EQ(AppendFrame(), 1);
    EXPECT_EQ(AppendFrame(), 2);
    const std::vector<mf::RecordedSample> samples = VideoSamples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].time, 333333);
    EXPECT_EQ(peer().State().videoFrameIndex, 2);
    recorder().Stop();
  }
}

TEST_F(VideoSamplePathTest, WritesNv12WithZeroPaddingBeyondTheWidth) {
  StartRecording();
  // 6 × 2 red: pitch 16, so each row carries 10 bytes of padding.
  AppendFrame(6, 2, SolidBgra(6, 2, kRed));
  const std::vector<BYTE> bytes = VideoSamples().at(0).bytes;
  ASSERT_EQ(bytes.size(), Nv12Size(16, 2));
  std::vector<BYTE> expected(bytes.size(), 0);
  for (int row = 0; row < 2; ++row) {
    std::fill_n(expected.begin() + row * 16, 6, 82);
  }
  for (int pair = 0; pair < 3; ++pair) {
    expected[32 + 2 * pair] = 90;
    expected[32 + 2 * pair + 1] = 240;
  }
  EXPECT_EQ(bytes, expected);
}

TEST_F(VideoSamplePathTest, WideVideoKeepsTheTenPaddingBytesOfEveryRowZero) {
  mf::KeepSampleBytes(true);
  StartRecording();
  AppendFrame(1366, 768, SolidBgra(1366, 768, {255, 255, 255, 0}));
  const std::vector<BYTE> bytes = VideoSamples().at(0).bytes;
  ASSERT_EQ(bytes.size(), 1585152u);
  for (size_t row = 0; row < 768 + 384; ++row) {
    const BYTE* start = &bytes[row * 1376];
    EXPECT_EQ(start[0], row < 768 ? 235 : 128) << row;
    EXPECT_EQ(start[1365], row < 768 ? 235 : 128) << row;
    EXPECT_EQ(std::vector<BYTE>(start + 1366, start + 1376), std::vector<BYTE>(10, 0)) << row;
  }
}

TEST_F(VideoSamplePathTest, LaterFramesAreScaledToTheFirstFramesSize) {
  StartRecording();
  EXPECT_EQ(AppendFrame(101, 75), 1);
  // 8 × 4, left half red and right half blue, enlarged to the 100 × 74 video.
  std::vector<uint8_t> halves;
  for (int i = 0; i < 8 * 4; ++i) {
    const auto& colour = (i % 8) < 4 ? kRed : kBlue;
    halves.insert(halves.end(), colour.begin(), colour.end());
  }
  EXPECT_EQ(AppendFrame(8, 4, halves), 2);
  const std::vector<mf::RecordedSample> samples = VideoSamples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(mf::FindUINT64(mf::SinkWriters()[0].streams[0].output_type, MF_MT_FRAME_SIZE),
            (UINT64{100} << 32) | 74);
  const std::vector<BYTE>& bytes = samples[1].bytes;
  ASSERT_EQ(bytes.size(), Nv12Size(112, 74));
  // Columns 0..49 come from source columns 0..3 (red), 50..99 from 4..7 (blue).
  EXPECT_EQ(bytes[0], 82);
  EXPECT_EQ(bytes[49], 82);
  EXPECT_EQ(bytes[50], 41);
  EXPECT_EQ(bytes[73 * 112 + 99], 41);
  EXPECT_EQ(bytes[73 * 112 + 100], 0);
  EXPECT_EQ(peer().State().videoWidth, 100);
}

TEST_F(VideoSamplePathTest, NothingIsWrittenWithoutAWriter) {
  StartRecording();
  const std::vector<uint8_t> pixels = SolidBgra(4, 2, kRed);
  EXPECT_FALSE(peer().WriteVideoFrame(pixels.data(), 16, 4, 2));
  EXPECT_EQ(peer().State().framesWritten, 0);
}

}  // namespace
}  // namespace halvex
