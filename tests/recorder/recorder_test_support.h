// Shared helpers of the recorder tests: a peer that reaches the recorder's record and its
// lock-held steps, a fixture that resets the stand-ins and proves every COM object was released
// exactly once, and scripted frames.
#ifndef HALVEX_TESTS_RECORDER_RECORDER_TEST_SUPPORT_H_
#define HALVEX_TESTS_RECORDER_RECORDER_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/desktop_recorder.h"
#include "windows_testing/audio.h"
#include "windows_testing/clock.h"
#include "windows_testing/com.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex {

// The record as one value, read under the recorder's lock.
struct RecorderState {
  bool recordingActive, audioEnabled, audibleAudioWritten;
  double fps;
  int32_t framesWritten, audioChunksWritten, videoWidth, videoHeight;
  uint32_t rowPitch;
  int64_t videoFrameIndex, frameDuration, audioPosition;
  std::wstring outputPath;
  bool hasSinkWriter;
  DWORD videoStreamIndex, audioStreamIndex;
  bool audioStreamPresent, writingBegun, mediaFoundationStarted, audioThreadStarted;
  bool audioStopFlag, hasAudioThread;
};

class DesktopRecorderTestPeer {
 public:
  // A recorder of its own, so that each test starts from the initial record.
  static std::unique_ptr<DesktopRecorder> Create() {
    return std::unique_ptr<DesktopRecorder>(new DesktopRecorder());
  }

  explicit DesktopRecorderTestPeer(DesktopRecorder& recorder) : recorder_(recorder) {}

  RecorderState State() {
    MutexLock lock(&recorder_.mutex);
    return {recorder_.recordingActive,
            recorder_.audioEnabled,
            recorder_.audibleAudioWritten,
            recorder_.fps,
            recorder_.framesWritten,
            recorder_.audioChunksWritten,
            recorder_.videoWidth,
            recorder_.videoHeight,
            recorder_.rowPitch,
            recorder_.videoFrameIndex,
            recorder_.frameDuration,
            recorder_.audioPosition,
            recorder_.outputPath,
            static_cast<bool>(recorder_.sinkWriter),
            recorder_.videoStreamIndex,
            recorder_.audioStreamIndex,
            recorder_.audioStreamPresent,
            recorder_.writingBegun,
            recorder_.mediaFoundationStarted,
            recorder_.audioThreadStarted,
            recorder_.audioStopFlag.load(),
            recorder_.audioThread != nullptr};
  }

  bool OpenSinkWriter(int32_t width, int32_t height, bool withAudio) {
    MutexLock lock(&recorder_.mutex);
    return recorder_.OpenSinkWriter(width, height, withAudio);
  }
  bool WriteVideoFrame(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height) {
    MutexLock lock(&recorder_.mutex);
    return recorder_.WriteVideoFrame(pixels, rowBytes, width, height);
  }
  // Bytes of decoded pixels kept for the next frame.
  size_t SpareFrameBytes() {
    MutexLock lock(&recorder_.mutex);
    return recorder_.spareFramePixels ? recorder_.spareFrameBytes : 0;
  }

  // The capture thread's body, run on the caller's thread.
  void RunAudioCaptureLoop() { recorder_.AudioCaptureLoop(); }

  // Holds the recorder's lock, as a competing thread would.
  std::unique_ptr<MutexLock> Lock() { return std::make_unique<MutexLock>(&recorder_.mutex); }

 private:
  DesktopRecorder& recorder_;
};

namespace testing_support {

inline std::vector<uint8_t> SolidBgra(UINT width, UINT height, std::array<uint8_t, 4> bgra) {
  std::vector<uint8_t> pixels;
  pixels.reserve(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    pixels.insert(pixels.end(), bgra.begin(), bgra.end());
  }
  return pixels;
}

// PNG bytes that the imaging stand-in decodes to `pixels` (or to a grey image when empty).
inline std::vector<uint8_t> ScriptedPng(UINT tag,
                                        UINT width,
                                        UINT height,
                                        std::vector<uint8_t> pixels = {}) {
  std::vector<uint8_t> bytes = halvex::testing::PngLikeBytes(tag);
  if (pixels.empty()) {
    pixels = SolidBgra(width, height, {0x80, 0x80, 0x80, 0xFF});
  }
  EXPECT_TRUE(halvex::testing::ScriptImage(bytes, width, height, pixels));
  return bytes;
}

// Waits for a condition that another thread brings about.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support

// Each test gets a fresh recorder and fresh stand-ins, and must leave no COM object or COM task
// memory behind and release nothing twice.
class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    halvex::testing::ResetMediaFoundation();
    halvex::testing::ResetImaging();
    halvex::testing::ResetAudio();
    halvex::testing::UsePerformanceCounterOfTheSystem();
    liveBefore_ = halvex::testing::LiveObjectCounts();
    taskMemoryBefore_ = halvex::testing::LiveTaskMemAllocations();
    overReleasesBefore_ = halvex::testing::OverReleases();
    recorder_ = DesktopRecorderTestPeer::Create();
    peer_ = std::make_unique<DesktopRecorderTestPeer>(*recorder_);
  }

  void TearDown() override {
    peer_.reset();
    recorder_.reset();
    EXPECT_EQ(halvex::testing::LiveObjectCounts(), liveBefore_);
    EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), taskMemoryBefore_);
    EXPECT_EQ(halvex::testing::OverReleases(), overReleasesBefore_);
    EXPECT_EQ(halvex::testing::CallsOnReleasedObjects(), 0);
    EXPECT_EQ(halvex::testing::RegisteredNotificationClients(), 0u);
    halvex::testing::ResetAudio();
    halvex::testing::UsePerformanceCounterOfTheSystem();
  }

  DesktopRecorder& recorder() { return *recorder_; }
  DesktopRecorderTestPeer& peer() { return *peer_; }

  // Starts a recording into "out.mp4" at `fps`.
  void StartRecording(double fps = 30.0, bool enableAudio = false) {
    ASSERT_TRUE(recorder().Start("out.mp4", fps, "", "", enableAudio));
  }

  // Appends a scripted frame and returns the count the recorder reports.
  int32_t AppendFrame(UINT width = 4, UINT height = 2, std::vector<uint8_t> pixels = {}) {
    const std::vector<uint8_t> png =
        testing_support::ScriptedPng(++frameTag_, width, height, std::move(pixels));
    return recorder().AppendPng(png.data(), png.size());
  }

  halvex::testing::ScopedFaults faults_;

 private:
  std::unique_ptr<DesktopRecorder> recorder_;
  std::unique_ptr<DesktopRecorderTestPeer> peer_;
  std::map<std::string, int> liveBefore_;
  int taskMemoryBefore_ = 0;
  int overReleasesBefore_ = 0;
  UINT frameTag_ = 1000000;  // clear of the tags tests script themselves
};

}  // namespace halvex

#endif  // HALVEX_TESTS_RECORDER_RECORDER_TEST_SUPPORT_H_
