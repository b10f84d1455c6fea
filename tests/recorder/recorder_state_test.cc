#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <thread>

#include <objbase.h>

#include "tests/recorder/recorder_test_support.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;

using RecorderStateTest = RecorderTest;

TEST_F(RecorderStateTest, StopWithoutFramesLeavesNoFile) {
  // Before any start, and after a start that received no frame.
  StopResult stopped = recorder().Stop();
  EXPECT_EQ(stopped.frames, 0);
  EXPECT_FALSE(stopped.hasAudio);
  EXPECT_EQ(mf::MFStartupCalls(), 0);

  StartRecording();
  stopped = recorder().Stop();
  EXPECT_EQ(stopped.frames, 0);
  EXPECT_FALSE(stopped.hasAudio);
  EXPECT_EQ(mf::SinkWriterCount(), 0u);
  EXPECT_FALSE(peer().State().recordingActive);
}

TEST_F(RecorderStateTest, SecondStopRepeatsTheCountsAndFinalisesOnce) {
  StartRecording();
  AppendFrame();
  AppendFrame();
  EXPECT_EQ(recorder().Stop().frames, 2);
  const StopResult again = recorder().Stop();
  EXPECT_EQ(again.frames, 2);
  EXPECT_FALSE(again.hasAudio);
  ASSERT_EQ(mf::SinkWriterCount(), 1u);
  EXPECT_EQ(mf::SinkWriters()[0].finalize_results.size(), 1u);
  EXPECT_FALSE(mf::SinkWriters()[0].alive);
  // A frame after the stop changes nothing and reports the stopped recording.
  EXPECT_EQ(AppendFrame(), 2);
}

TEST_F(RecorderStateTest, SecondStartFinalisesTheFirstFileAndBeginsAnew) {
  StartRecording(30.0);
  AppendFrame();
  AppendFrame();
  bool hasAudioTrack = false;
  ASSERT_TRUE(recorder().Start("second.mp4", 10.0, "track", "peer", true, &hasAudioTrack));
  EXPECT_TRUE(hasAudioTrack);

  ASSERT_EQ(mf::SinkWriterCount(), 1u);
  EXPECT_EQ(mf::SinkWriters()[0].finalize_results.size(), 1u);
  EXPECT_FALSE(mf::SinkWriters()[0].alive);
  const RecorderState state = peer().State();
  EXPECT_EQ(state.framesWritten, 0);
  EXPECT_EQ(state.outputPath, L"second.mp4");
  EXPECT_EQ(state.frameDuration, 1000000);
  EXPECT_TRUE(state.recordingActive);
  EXPECT_FALSE(state.hasSinkWriter);

  EXPECT_EQ(AppendFrame(), 1);
  ASSERT_EQ(mf::SinkWriterCount(), 2u);
  EXPECT_EQ(mf::SinkWriters()[1].url, L"second.mp4");
  EXPECT_EQ(mf::SinkWriters()[1].samples.at(0).time, 0);
  EXPECT_EQ(mf::MFStartupCalls(), 1);
}

// Whatever ends a recording ("stop" or a new "start") and whether or not its writer could complete
// the file, the file stays as it is, and the audio track reaches the video's end. These writers
// only record, so a file written beforehand stands for what the writer left behind.
TEST_F(RecorderStateTest, EveryEndPadsTheAudioAndNoFileIsEverDeleted) {
  struct Case {
    const char* name;
    bool finalizeFails;
    bool endedByStart;
  };
  const Case cases[] = {{"completed by stop", false, false},
                        {"completed by a new start", false, true},
                        {"failed in stop", true, false},
                        {"failed in a new start", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::ResetAudio();
    const std::string path = ::testing::TempDir() + "unfinished-" + c.name + ".mp4";
    const std::string leftBehind = "frames without their index";
    std::ofstream(path) << leftBehind;
    ASSERT_TRUE(recorder().Start(path, 30.0, "", "", true));
    for (int i = 0; i < 4; ++i) {
      ASSERT_EQ(AppendFrame(), i + 1);
    }
    if (c.finalizeFails) {
      mf::FailCall("IMFSinkWriter::Finalize", HRESULT_FROM_WIN32(ERROR_DISK_FULL), 1);
    }
    if (c.endedByStart) {
      ASSERT_TRUE(recorder().Start(path + ".next.mp4", 30.0, "", "", false));
    }
    EXPECT_EQ(recorder().Stop().frames, c.endedByStart ? 0 : 4) << "the counts do not change";
    std::string kept;
    std::getline(std::ifstream(path), kept);
    EXPECT_EQ(kept, leftBehind) << "the file is neither deleted nor damaged";
    // No playback device: the audio track is silence, as long as the four frames.
    int64_t audioSamples = 0;
    const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
    for (const mf::RecordedSample& sample : writers.at(0).samples) {
      audioSamples += sample.stream_index == 1 ? sample.length / 2 : 0;
    }
    EXPECT_EQ(audioSamples, 4 * 333333LL * 48000 / 10000000);
    std::remove(path.c_str());
  }
}

// The decoded pixels kept from frame to frame are freed when the recording stops.
TEST_F(RecorderStateTest, StopFreesThePixelsKeptBetweenFrames) {
  StartRecording();
  AppendFrame(640, 480);
  EXPECT_GT(peer().SpareFrameBytes(), 0u);
  recorder().Stop();
  EXPECT_EQ(peer().SpareFrameBytes(), 0u);
  // A frame after the stop keeps nothing either.
  AppendFrame(640, 480);
  EXPECT_EQ(peer().SpareFrameBytes(), 0u);
}

TEST_F(RecorderStateTest, FrameRateIsLimitedAndGivesTheFrameDuration) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const struct {
    double requested, fps;
    int64_t duration;
  } cases[] = {
      {0.5, 1.0, 10000000},   {1.0, 1.0, 10000000},     {8.0, 8.0, 1250000},
      {29.97, 29.97, 333667}, {30.0, 30.0, 333333},     {31.0, 30.0, 333333},
      {60.0, 30.0, 333333},   {0.0, 1.0, 10000000},     {-5.0, 1.0, 10000000},
      {nan, 8.0, 1250000},    {infinity, 30.0, 333333}, {-infinity, 1.0, 10000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested);
    ASSERT_TRUE(recorder().Start("a.mp4", c.requested, "", "", false));
    const RecorderState state = peer().State();
    EXPECT_EQ(state.fps, c.fps);
    EXPECT_EQ(state.frameDuration, c.duration);
  }
}

TEST_F(RecorderStateTest, PathIsConvertedToUtf16WithBackslashes) {
  const struct {
    std::string path;
    std::wstring stored;
  } cases[] = {
      {"C:/Users/me/videos/clip.mp4", L"C:\\Users\\me\\videos\\clip.mp4"},
      {"D:\\already\\fine.mp4", L"D:\\already\\fine.mp4"},
      {"caf\xC3\xA9/\xE6\x97\xA5.mp4", L"caf\u00E9\\\u65E5.mp4"},
      {"\xF0\x9F\x8E\xA5.mp4", std::wstring{wchar_t(0xD83C), wchar_t(0xDFA5)} + L".mp4"},
      {"bad\xFF.mp4", L"bad\uFFFD.mp4"},
      {std::string("cut\0here", 8), L"cut"},
      {"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(recorder().Start(c.path, 8.0, "", "", false));
    EXPECT_EQ(peer().State().outputPath, c.stored);
  }
}

TEST_F(RecorderStateTest, FailedMediaFoundationStartupLeavesTheRecorderIdle) {
  mf::FailCall("MFStartup", E_FAIL, 1);
  bool hasAudioTrack = true;
  EXPECT_FALSE(recorder().Start("a.mp4", 8.0, "", "", true, &hasAudioTrack));
  EXPECT_TRUE(hasAudioTrack);  // left as the caller set it
  EXPECT_FALSE(peer().State().recordingActive);
  EXPECT_EQ(AppendFrame(), 0);

  // The next start tries again; once started, Media Foundation is never started again.
  StartRecording();
  StartRecording();
  EXPECT_EQ(mf::MFStartupCalls(), 2);
  EXPECT_TRUE(peer().State().mediaFoundationStarted);
}

TEST_F(RecorderStateTest, ComIsInitialisedOncePerThreadAndRetriedAfterFailure) {
  const struct {
    const char* name;
    bool singleThreadedFirst;
    HRESULT firstResult;
    int callsAfterThreeOperations;
    mf::Apartment apartment;
  } cases[] = {
      {"success", false, S_OK, 1, mf::Apartment::kMultithreaded},
      {"other apartment already", true, S_OK, 1, mf::Apartment::kSingleThreaded},
      {"failure retried", false, E_OUTOFMEMORY, 2, mf::Apartment::kMultithreaded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetFaults();
    if (FAILED(c.firstResult)) {
      mf::FailCall("CoInitializeEx", c.firstResult, 1);
    }
    // A fresh thread has no apartment and no memory of one.
    std::thread([&] {
      if (c.singleThreadedFirst) {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
      }
      const int before = mf::CallCount("CoInitializeEx");
      recorder().Stop();
      recorder().Stop();
      recorder().AppendPng(nullptr, 0);
      EXPECT_EQ(mf::CallCount("CoInitializeEx") - before, c.callsAfterThreeOperations);
      EXPECT_EQ(mf::CurrentApartment(), c.apartment);
      while (mf::CurrentApartmentInitCount() > 0) {
        CoUninitialize();
      }
    }).join();
  }
}

}  // namespace
}  // namespace halvex
