#include <wincodec.h>

#include <vector>

#include "tests/recorder/recorder_test_support.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using testing_support::ScriptedPng;

using FrameIngestionTest = RecorderTest;

TEST_F(FrameIngestionTest, UnusableBytesAreDroppedWithoutAnError) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool decoded;
  } cases[] = {
      {"seven bytes", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}, false},
      {"not a PNG", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}, false},
      {"signature start only, rest unchecked", {0x89, 'P', 'N', 'G', 1, 2, 3, 4}, true},
      {"signature but no image the decoder knows", mf::PngLikeBytes(99), true},
      {"one pixel wide", ScriptedPng(1, 1, 100), true},
      {"one pixel high", ScriptedPng(2, 100, 1), true},
  };
  StartRecording();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t decodedBefore = mf::RecordedImagingCalls().stream_sizes.size();
    bool hasAudio = true;
    EXPECT_EQ(recorder().AppendPng(c.bytes.data(), c.bytes.size(), &hasAudio), 0);
    EXPECT_FALSE(hasAudio);
    EXPECT_EQ(mf::RecordedImagingCalls().stream_sizes.size() - decodedBefore, c.decoded ? 1u : 0u);
  }
  EXPECT_EQ(recorder().AppendPng(nullptr, 100), 0);
  EXPECT_EQ(mf::SinkWriterCount(), 0u);
  EXPECT_EQ(AppendFrame(), 1);
}

TEST_F(FrameIngestionTest, DecodesOnlyTheFirstFrameToBgraTrimmedToAnEvenSize) {
  StartRecording();
  EXPECT_EQ(AppendFrame(101, 75), 1);
  const mf::ImagingCalls calls = mf::RecordedImagingCalls();
  ASSERT_EQ(calls.decoders.size(), 1u);
  EXPECT_FALSE(calls.decoders[0].vendor_given);
  EXPECT_EQ(calls.decoders[0].options, WICDecodeMetadataCacheOnLoad);
  EXPECT_EQ(calls.frame_indices, std::vector<UINT>{0});
  ASSERT_EQ(calls.converter_initializations.size(), 1u);
  const mf::RecordedConverterInitialization& init = calls.converter_initializations[0];
  EXPECT_TRUE(init.format == GUID_WICPixelFormat32bppBGRA);
  EXPECT_EQ(init.dither, WICBitmapDitherTypeNone);
  EXPECT_FALSE(init.palette_given);
  EXPECT_EQ(init.alpha_threshold_percent, 0.0);
  EXPECT_EQ(init.palette_translate, WICBitmapPaletteTypeCustom);
  ASSERT_EQ(calls.copies.size(), 1u);
  EXPECT_EQ(calls.copies[0].object, "IWICFormatConverter");
  ASSERT_TRUE(calls.copies[0].rect.has_value());
  EXPECT_EQ(calls.copies[0].rect->Width, 100);
  EXPECT_EQ(calls.copies[0].rect->Height, 74);
  EXPECT_EQ(calls.copies[0].stride, 400u);
  EXPECT_EQ(calls.copies[0].buffer_size, 400u * 74u);
}

TEST_F(FrameIngestionTest, EveryImagingFailureDropsTheFrameAndReleasesEverything) {
  const char* const scriptedSteps[] = {
      "IWICImagingFactory::CreateDecoderFromStream",
      "IWICBitmapDecoder::GetFrame",
      "IWICFormatConverter::Initialize",
      "IWICFormatConverter::GetSize",
      "IWICFormatConverter::CopyPixels",
  };
  const char* const injectedCalls[] = {
      "CoCreateInstance",
      "IWICImagingFactory::CreateStream",
      "IWICStream::InitializeFromMemory",
      "IWICImagingFactory::CreateFormatConverter",
  };
  StartRecording();
  UINT tag = 1000;
  for (const char* step : scriptedSteps) {
    SCOPED_TRACE(step);
    const std::vector<uint8_t> png = mf::PngLikeBytes(++tag);
    ASSERT_TRUE(mf::ScriptImageFailure(png, step, E_FAIL));
    EXPECT_EQ(recorder().AppendPng(png.data(), png.size()), 0);
  }
  for (const char* call : injectedCalls) {
    SCOPED_TRACE(call);
    mf::FailCall(call, E_FAIL, 1);
    EXPECT_EQ(AppendFrame(), 0);
    mf::ResetFaults();
  }
  EXPECT_EQ(mf::SinkWriterCount(), 0u);
  EXPECT_EQ(AppendFrame(), 1);
}

TEST_F(FrameIngestionTest, ImagesBeyondTheSizeLimitAreDroppedBeforeAnyAllocation) {
  StartRecording();
  const UINT sizes[][2] = {{8194, 8194}, {65536, 65536}, {0x7FFFFFFF, 0x7FFFFFFF}, {2, 0x40000000}};
  UINT tag = 2000;
  for (const auto& size : sizes) {
    SCOPED_TRACE(::testing::Message() << size[0] << "x" << size[1]);
    // Should the frame get as far as copying pixels, the copy fails: nothing big is made.
    const std::vector<uint8_t> png = mf::PngLikeBytes(++tag);
    ASSERT_TRUE(
        mf::ScriptImageFailure(png, "IWICFormatConverter::CopyPixels", E_FAIL, size[0], size[1]));
    EXPECT_EQ(recorder().AppendPng(png.data(), png.size()), 0);
  }
  EXPECT_TRUE(mf::RecordedImagingCalls().copies.empty());
}

TEST_F(FrameIngestionTest, AudioCaptureStartsAfterTheThirdFrameOnlyWithAnAudioStream) {
  const struct {
    const char* name;
    bool enableAudio;
    const char* failingAudioStep;
    bool captureStarts;
  } cases[] = {
      {"audio stream", true, nullptr, true},
      {"audio not asked for", false, nullptr, false},
      {"writer fell back to video only", true, "IMFSinkWriter::SetInputMediaType", false},
  };
  ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetFaults();
    StartRecording(30.0, c.enableAudio);
    if (c.failingAudioStep != nullptr) {
      mf::FailCall(c.failingAudioStep, E_FAIL, 2);
    }
    AppendFrame();
    AppendFrame();
    EXPECT_FALSE(peer().State().audioThreadStarted);
    AppendFrame();
    EXPECT_EQ(peer().State().audioThreadStarted, c.captureStarts);
    EXPECT_EQ(peer().State().hasAudioThread, c.captureStarts);
    EXPECT_EQ(peer().State().audioStopFlag, !c.captureStarts);
    for (int frame = 0; frame < 5; ++frame) {
      AppendFrame();
    }
    recorder().Stop();
    // One capture session at most per recording: one activation of the device.
    EXPECT_EQ(mf::RecordedAudioCalls().activations.size(), c.captureStarts ? 1u : 0u);
    EXPECT_FALSE(peer().State().hasAudioThread);
    mf::ResetAudio();
    ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
  }
}

}  // namespace
}  // namespace halvex
