#include <codecapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <utility>
#include <vector>

#include "tests/recorder/recorder_test_support.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;

using ExpectedAttributes = std::vector<std::pair<GUID, mf::AttributeValue>>;

void ExpectAttributesInOrder(const mf::AttributeList& actual, const ExpectedAttributes& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(actual[i].key == expected[i].first) << "attribute " << i;
    EXPECT_TRUE(actual[i].value == expected[i].second) << "attribute " << i;
  }
}

UINT64 Pair(UINT32 high, UINT32 low) {
  return (UINT64{high} << 32) | low;
}

using SinkWriterSetupTest = RecorderTest;

TEST_F(SinkWriterSetupTest, DeclaresEveryAttributeOfTheFourTypesInOrder) {
  const struct {
    UINT width, height;
    double fps;
    UINT32 videoWidth, videoHeight, pitch, bitRate, sampleSize, frameRate;
    UINT32 keyFrameInterval;  // at most two seconds of pictures
  } cases[] = {
      {641, 481, 8.0, 640, 480, 640, 921600, 460800, 8, 16},
      {1366, 768, 29.97, 1366, 768, 1376, 3147264, 1585152, 29, 59},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    mf::ResetMediaFoundation();
    ASSERT_TRUE(recorder().Start("C:/clips/out.mp4", c.fps, "", "", true));
    ASSERT_EQ(AppendFrame(c.width, c.height), 1);
    ASSERT_EQ(mf::SinkWriterCount(), 1u);
    const mf::RecordedSinkWriter writer = mf::SinkWriters()[0];
    EXPECT_EQ(writer.url, L"C:\\clips\\out.mp4");
    ASSERT_TRUE(writer.attributes.has_value());
    ExpectAttributesInOrder(*writer.attributes,
                            {{MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 0u},
                             {MF_SINK_WRITER_DISABLE_THROTTLING, 1u},
                             {MF_TRANSCODE_CONTAINERTYPE, MFTranscodeContainerType_FMPEG4}});
    ASSERT_EQ(writer.streams.size(), 2u);
    const UINT64 frameSize = Pair(c.videoWidth, c.videoHeight);
    const UINT64 frameRate = Pair(c.frameRate, 1);
    const UINT64 square = Pair(1, 1);
    ExpectAttributesInOrder(writer.streams[0].output_type, {{MF_MT_MAJOR_TYPE, MFMediaType_Video},
                                                            {MF_MT_SUBTYPE, MFVideoFormat_H264},
                                                            {MF_MT_AVG_BITRATE, c.bitRate},
                                                            {MF_MT_INTERLACE_MODE, 2u},
                                                            {MF_MT_FRAME_SIZE, frameSize},
                                                            {MF_MT_FRAME_RATE, frameRate},
                                                            {MF_MT_PIXEL_ASPECT_RATIO, square}});
    ASSERT_TRUE(writer.streams[0].input_type.has_value());
    ExpectAttributesInOrder(*writer.streams[0].input_type, {{MF_MT_MAJOR_TYPE, MFMediaType_Video},
                                                            {MF_MT_SUBTYPE, MFVideoFormat_NV12},
                                                            {MF_MT_FRAME_SIZE, frameSize},
                                                            {MF_MT_FRAME_RATE, frameRate},
                                                            {MF_MT_PIXEL_ASPECT_RATIO, square},
                                                            {MF_MT_DEFAULT_STRIDE, c.pitch},
                                                            {MF_MT_FIXED_SIZE_SAMPLES, 1u},
                                                            {MF_MT_SAMPLE_SIZE, c.sampleSize},
                                                            {MF_MT_ALL_SAMPLES_INDEPENDENT, 1u}});
    ASSERT_TRUE(writer.streams[0].encoding_parameters.has_value());
    ExpectAttributesInOrder(*writer.streams[0].encoding_parameters,
                            {{CODECAPI_AVEncMPVGOPSize, c.keyFrameInterval}});
    EXPECT_FALSE(writer.streams[1].encoding_parameters.has_value());
    ExpectAttributesInOrder(writer.streams[1].output_type,
                            {{MF_MT_MAJOR_TYPE, MFMediaType_Audio},
                             {MF_MT_SUBTYPE, MFAudioFormat_AAC},
                             {MF_MT_AUDIO_NUM_CHANNELS, 1u},
                             {MF_MT_AUDIO_SAMPLES_PER_SECOND, 48000u},
                             {MF_MT_AUDIO_BITS_PER_SAMPLE, 16u},
                             {MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 24000u},
                             {MF_MT_AAC_PAYLOAD_TYPE, 0u}});
    ASSERT_TRUE(writer.streams[1].input_type.has_value());
    ExpectAttributesInOrder(*writer.streams[1].input_type,
                            {{MF_MT_MAJOR_TYPE, MFMediaType_Audio},
                             {MF_MT_SUBTYPE, MFAudioFormat_PCM},
                             {MF_MT_AUDIO_NUM_CHANNELS, 1u},
                             {MF_MT_AUDIO_SAMPLES_PER_SECOND, 48000u},
                             {MF_MT_AUDIO_BITS_PER_SAMPLE, 16u},
                             {MF_MT_AUDIO_BLOCK_ALIGNMENT, 2u},
                             {MF_MT_AUDIO_AVG_BYTES_PER_SECOND, 96000u}});
    EXPECT_TRUE(writer.writing_begun);
    const RecorderState state = peer().State();
    EXPECT_EQ(state.videoWidth, static_cast<int32_t>(c.videoWidth));
    EXPECT_EQ(state.videoHeight, static_cast<int32_t>(c.videoHeight));
    EXPECT_EQ(state.rowPitch, c.pitch);
    EXPECT_EQ(state.videoStreamIndex, 0u);
    EXPECT_EQ(state.audioStreamIndex, 1u);
    EXPECT_TRUE(state.audioStreamPresent);
    ASSERT_EQ(writer.samples.size(), 1u);
    EXPECT_EQ(writer.samples[0].length, c.sampleSize);
    recorder().Stop();
  }
}

TEST_F(SinkWriterSetupTest, AnyAudioStepFailingFallsBackToVideoOnly) {
  const struct {
    const char* call;
    int nth;
  } cases[] = {
      {"MFCreateMediaType", 3},                 // audio output type
      {"IMFSinkWriter::AddStream", 2},          // audio stream
      {"MFCreateMediaType", 4},                 // audio input type
      {"IMFSinkWriter::SetInputMediaType", 2},  // audio input type refused
      {"IMFSinkWriter::BeginWriting", 1},       // after the audio input type was accepted
      {"IMFSinkWriter::AddStream", 1},          // a video step: the retry has no audio either
  };
  ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.call << " #" << c.nth);
    mf::ResetMediaFoundation();
    mf::ResetFaults();
    StartRecording(30.0, true);
    mf::FailCall(c.call, E_FAIL, c.nth);
    for (int frame = 1; frame <= 4; ++frame) {
      EXPECT_EQ(AppendFrame(), frame);
    }
    ASSERT_EQ(mf::SinkWriterCount(), 2u);
    const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
    EXPECT_FALSE(writers[0].alive);
    EXPECT_TRUE(writers[0].finalize_results.empty());
    EXPECT_TRUE(writers[0].samples.empty());
    EXPECT_EQ(writers[1].streams.size(), 1u);
    EXPECT_TRUE(writers[1].writing_begun);
    const RecorderState state = peer().State();
    EXPECT_FALSE(state.audioStreamPresent);
    EXPECT_FALSE(state.audioThreadStarted);
    EXPECT_TRUE(mf::RecordedAudioCalls().activations.empty());
    EXPECT_FALSE(recorder().Stop().hasAudio);
  }
}

TEST_F(SinkWriterSetupTest, AWriterThatCannotBeMadeDropsTheFrameUntilItCan) {
  const char* const calls[] = {"MFCreateSinkWriterFromURL", "MFCreateMediaType",
                               "IMFSinkWriter::AddStream", "IMFSinkWriter::SetInputMediaType",
                               "IMFSinkWriter::BeginWriting"};
  for (const char* call : calls) {
    SCOPED_TRACE(call);
    mf::ResetMediaFoundation();
    mf::ResetFaults();
    StartRecording(30.0, true);
    mf::FailCall(call, E_FAIL);
    EXPECT_EQ(AppendFrame(), 0);
    for (const mf::RecordedSinkWriter& writer : mf::SinkWriters()) {
      EXPECT_FALSE(writer.alive);
    }
    const RecorderState state = peer().State();
    EXPECT_FALSE(state.hasSinkWriter);
    EXPECT_EQ(state.rowPitch, 0u);
    mf::ResetFaults();
    EXPECT_EQ(AppendFrame(), 1);
    recorder().Stop();
  }
}

// Where the fragmented container cannot be had, the writer is made again without asking for it:
// the file name's extension then picks the plain container.
TEST_F(SinkWriterSetupTest, WithoutTheFragmentedContainerThePlainOneIsUsed) {
  mf::FailCall("MFCreateSinkWriterFromURL", MF_E_UNSUPPORTED_BYTESTREAM_TYPE, 1);
  StartRecording();
  EXPECT_EQ(AppendFrame(), 1);
  EXPECT_EQ(mf::CallCount("MFCreateSinkWriterFromURL"), 2);
  ASSERT_EQ(mf::SinkWriterCount(), 1u);
  const mf::RecordedSinkWriter writer = mf::SinkWriters()[0];
  ASSERT_TRUE(writer.attributes.has_value());
  ExpectAttributesInOrder(*writer.attributes, {{MF_READWRITE_ENABLE_HARDWARE_TRANSFORMS, 0u},
                                               {MF_SINK_WRITER_DISABLE_THROTTLING, 1u}});
  EXPECT_TRUE(writer.writing_begun);
}

TEST_F(SinkWriterSetupTest, MissingAttributeStoreStillMakesAWriter) {
  mf::FailCall("MFCreateAttributes", E_OUTOFMEMORY, 1);
  StartRecording();
  EXPECT_EQ(AppendFrame(), 1);
  ASSERT_EQ(mf::SinkWriterCount(), 1u);
  EXPECT_FALSE(mf::SinkWriters()[0].attributes.has_value());
}

TEST_F(SinkWriterSetupTest, RefusedSetUpsLeaveNoWriter) {
  StartRecording(30.0, false);
  const struct {
    int32_t width, height;
    bool withAudio;
    size_t writersMade;
  } cases[] = {
      {1, 100, false, 0}, {100, 1, false, 0}, {0, 0, false, 0},
      {-4, 8, false, 0},  {4, 2, true, 1},  // audio asked for while the recording has none
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    mf::ResetMediaFoundation();
    EXPECT_FALSE(peer().OpenSinkWriter(c.width, c.height, c.withAudio));
    EXPECT_EQ(mf::SinkWriterCount(), c.writersMade);
    EXPECT_FALSE(peer().State().hasSinkWriter);
    EXPECT_EQ(peer().State().rowPitch, 0u);
  }

  // Begin failing after the audio input type was accepted leaves no audio stream behind.
  StartRecording(30.0, true);
  mf::FailCall("IMFSinkWriter::BeginWriting", E_FAIL, 1);
  EXPECT_FALSE(peer().OpenSinkWriter(4, 2, true));
  EXPECT_FALSE(peer().State().audioStreamPresent);
  EXPECT_FALSE(peer().State().hasSinkWriter);
}

}  // namespace
}  // namespace halvex
