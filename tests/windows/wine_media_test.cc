// What Wine's media support lacks, and how the recorder handles exactly that. Wine has no H.264
// or AAC encoder and no MP4 sink, so creating the sink writer fails with E_INVALIDARG; and it has
// no loopback capture, so asking the audio client for its capture client fails with
// AUDCLNT_E_WRONG_ENDPOINT_TYPE (without a sound server there is no playback device at all).
// The recorder must drop the frames and count them as not written, leave no file, end its
// capture thread quietly and still answer "stop".
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/com_ptr.h"
#include "recorder/desktop_recorder.h"
#include "tests/windows/png_fixtures.h"

namespace halvex {

// Reaches the capture thread's body and the audio counters of the one recorder.
class DesktopRecorderTestPeer {
 public:
  explicit DesktopRecorderTestPeer(DesktopRecorder& recorder) : recorder_(recorder) {}
  void RunCaptureLoop() { recorder_.AudioCaptureLoop(); }
  void LetCaptureRun() { recorder_.audioStopFlag = false; }
  void StopCapture() { recorder_.audioStopFlag = true; }
  int32_t AudioChunksWritten() {
    MutexLock lock(&recorder_.mutex);
    return recorder_.audioChunksWritten;
  }
  int64_t AudioPosition() {
    MutexLock lock(&recorder_.mutex);
    return recorder_.audioPosition;
  }

 private:
  DesktopRecorder& recorder_;
};

namespace {

constexpr HRESULT kNoPlaybackDevice = static_cast<HRESULT>(0x80070490);  // ERROR_NOT_FOUND
constexpr HRESULT kWrongEndpointType = static_cast<HRESULT>(0x88890003);

// Set by the test script when it started a sound server for Wine to play to.
bool SoundServerRunning() {
  char value[8] = {};
  return GetEnvironmentVariableA("HALVEX_WINE_SOUND_SERVER", value, sizeof(value)) == 1 &&
         value[0] == '1';
}

std::filesystem::path ScratchFolder(const char* name) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

class WineMediaTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { DesktopRecorder::Instance().Stop(); }
};

TEST_F(WineMediaTest, SinkWriterCannotBeCreatedForMp4) {
  ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
  const std::filesystem::path file = ScratchFolder("halvex-wine-sink") / "probe.mp4";
  ComPtr<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(file.wstring().c_str(), nullptr, nullptr, writer.Put()),
            E_INVALIDARG)
      << "Wine now creates MP4 sink writers: the recorder's frames would be written here";
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(WineMediaTest, LoopbackCaptureIsNotAvailable) {
  ComPtr<IMMDeviceEnumerator> enumerator;
  const HRESULT created = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                           IID_PPV_ARGS(enumerator.Put()));
  if (!SoundServerRunning()) {
    // No audio driver can start: either the enumerator is refused or it has no device.
    if (SUCCEEDED(created)) {
      ComPtr<IMMDevice> device;
      EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put()),
                kNoPlaybackDevice);
    } else {
      EXPECT_EQ(created, REGDB_E_CLASSNOTREG);
    }
    return;
  }
  ASSERT_EQ(created, S_OK);
  ComPtr<IMMDevice> device;
  ASSERT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put()), S_OK);
  ComPtr<IAudioClient> client;
  ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                             reinterpret_cast<void**>(client.Put())),
            S_OK);
  CoTaskMemPtr<WAVEFORMATEX> format;
  ASSERT_EQ(client->GetMixFormat(format.Put()), S_OK);
  ASSERT_EQ(client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 10000000, 0,
                               format.Get(), nullptr),
            S_OK);
  ComPtr<IAudioCaptureClient> capture;
  EXPECT_EQ(client->GetService(IID_PPV_ARGS(capture.Put())), kWrongEndpointType)
      << "Wine now captures in loopback: the recorder's audio thread would record here";
}

TEST_F(WineMediaTest, FramesAreDroppedAndNoFileIsLeft) {
  const std::vector<uint8_t> frame = halvex::testing::GradientPng(64, 48, 5);
  const struct {
    const char* name;
    bool enableAudio;
  } cases[] = {{"with audio", true}, {"without audio", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path file = ScratchFolder("halvex-wine-frames") / "recording.mp4";
    DesktopRecorder& recorder = DesktopRecorder::Instance();
    bool hasAudioTrack = !c.enableAudio;
    ASSERT_TRUE(recorder.Start(file.u8string(), 30.0, "", "", c.enableAudio, &hasAudioTrack));
    EXPECT_EQ(hasAudioTrack, c.enableAudio);
    for (int i = 0; i < 4; ++i) {
      bool hasAudio = true;
      EXPECT_EQ(recorder.AppendPng(frame.data(), frame.size(), &hasAudio), 0);
      EXPECT_FALSE(hasAudio);
    }
    for (int i = 0; i < 2; ++i) {
      const StopResult stopped = recorder.Stop();
      EXPECT_EQ(stopped.frames, 0);
      EXPECT_FALSE(stopped.hasAudio);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

TEST_F(WineMediaTest, CaptureThreadEndsQuietlyAndStopStillAnswers) {
  DesktopRecorder& recorder = DesktopRecorder::Instance();
  const std::filesystem::path file = ScratchFolder("halvex-wine-capture") / "recording.mp4";
  ASSERT_TRUE(recorder.Start(file.u8string(), 30.0, "", "", true));
  DesktopRecorderTestPeer peer(recorder);
  peer.LetCaptureRun();
  std::future<void> capture = std::async(std::launch::async, [&peer] { peer.RunCaptureLoop(); });
  const bool ended = capture.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!ended) {
    peer.StopCapture();  // so that the thread can be joined
  }
  capture.wait();
  EXPECT_TRUE(ended) << "the capture thread kept running without a loopback stream";
  EXPECT_EQ(peer.AudioChunksWritten(), 0);
  EXPECT_EQ(peer.AudioPosition(), 0);
  const StopResult stopped = recorder.Stop();
  EXPECT_EQ(stopped.frames, 0);
  EXPECT_FALSE(stopped.hasAudio);
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace halvex
