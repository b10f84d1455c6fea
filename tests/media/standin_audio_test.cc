// The audio stand-in on the sound server's default sink, through the interfaces the product
// calls.
#include <audioclient.h>
#include <combaseapi.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "com_test_support.h"
#include "pulse_server.h"
#include "scratch_folder.h"
#include "signal_analysis.h"
#include "windows_testing/audio.h"

namespace halvex::media_testing {
namespace {

using halvex::test::Owned;

HRESULT DefaultDevice(Owned<IMMDevice>* device) {
  Owned<IMMDeviceEnumerator> enumerator;
  const HRESULT created = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                           IID_IMMDeviceEnumerator, enumerator.PutVoid());
  if (FAILED(created)) {
    return created;
  }
  return enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device->Put());
}

// The device's mix format, as an extensible format (zeroed beyond what the device gave).
WAVEFORMATEXTENSIBLE MixFormatOf(IAudioClient* client) {
  WAVEFORMATEXTENSIBLE format{};
  WAVEFORMATEX* mix = nullptr;
  EXPECT_EQ(client->GetMixFormat(&mix), S_OK);
  if (mix != nullptr) {
    std::memcpy(&format, mix, std::min(sizeof(format), sizeof(WAVEFORMATEX) + mix->cbSize));
    CoTaskMemFree(mix);
  }
  return format;
}

class StandInAudioTest : public halvex::test::StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    if (!SoundServerAvailable()) {
      GTEST_SKIP() << kSoundServerMissing;
    }
  }
};

TEST_F(StandInAudioTest, TheDefaultSinkIsTheDefaultDeviceInItsOwnMixFormat) {
  struct Case {
    const char* format;
    int rate;
    int channels;
    GUID sub_format;
    WORD bits;
    WORD valid_bits;
    DWORD mask;
  };
  const std::vector<Case> cases = {
      {"float32le", 48000, 2, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 32, KSAUDIO_SPEAKER_STEREO},
      {"s16le", 44100, 2, KSDATAFORMAT_SUBTYPE_PCM, 16, 16, KSAUDIO_SPEAKER_STEREO},
      {"s24le", 48000, 2, KSDATAFORMAT_SUBTYPE_PCM, 24, 24, KSAUDIO_SPEAKER_STEREO},
      {"s24-32le", 96000, 2, KSDATAFORMAT_SUBTYPE_PCM, 32, 24, KSAUDIO_SPEAKER_STEREO},
      {"s32le", 48000, 1, KSDATAFORMAT_SUBTYPE_PCM, 32, 32, SPEAKER_FRONT_CENTER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::string error;
    std::unique_ptr<PrivateSoundServer> server =
        PrivateSoundServer::Start(c.format, c.rate, c.channels, &error);
    ASSERT_NE(server, nullptr) << error;
    // After a test's reset only scripted devices exist, whatever the system has.
    halvex::testing::ResetAudio();
    Owned<IMMDevice> device;
    EXPECT_EQ(DefaultDevice(&device), E_NOTFOUND);

    halvex::testing::UseSystemAudio();
    ASSERT_EQ(DefaultDevice(&device), S_OK);
    Owned<IAudioClient> client;
    ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
    const WAVEFORMATEXTENSIBLE format = MixFormatOf(client.get());
    EXPECT_EQ(format.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(format.Format.cbSize, 22);
    EXPECT_EQ(format.Format.nChannels, c.channels);
    EXPECT_EQ(format.Format.nSamplesPerSec, static_cast<DWORD>(c.rate));
    EXPECT_EQ(format.Format.wBitsPerSample, c.bits);
    EXPECT_EQ(format.Format.nBlockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(format.Format.nAvgBytesPerSec, static_cast<DWORD>(c.rate * c.channels * c.bits / 8));
    EXPECT_EQ(format.Samples.wValidBitsPerSample, c.valid_bits);
    EXPECT_EQ(format.dwChannelMask, c.mask);
    EXPECT_TRUE(IsEqualGUID(format.SubFormat, c.sub_format));
    client.Reset();
    device.Reset();
    halvex::testing::ResetAudio();
  }
}

TEST_F(StandInAudioTest, WithoutAServerThereIsNoDevice) {
  ScratchFolder nowhere;
  const ScopedEnvironmentVariable server("PULSE_SERVER", "unix:" + nowhere.File("none"));
  halvex::testing::UseSystemAudio();
  Owned<IMMDevice> device;
  EXPECT_EQ(DefaultDevice(&device), E_NOTFOUND);
  EXPECT_FALSE(device);
}

// Takes every waiting packet, as the recorder's capture loop does.
void Drain(IAudioCaptureClient* capture, std::vector<std::vector<BYTE>>* sound, int* silent) {
  UINT32 frames = 0;
  while (capture->GetNextPacketSize(&frames) == S_OK && frames > 0) {
    BYTE* data = nullptr;
    UINT32 got = 0;
    DWORD flags = 0;
    ASSERT_EQ(capture->GetBuffer(&data, &got, &flags, nullptr, nullptr), S_OK);
    ASSERT_EQ(got, frames);
    if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0) {
      ++*silent;
    } else {
      sound->emplace_back(data, data + got * 8);
    }
    ASSERT_EQ(capture->ReleaseBuffer(got), S_OK);
  }
}

TEST_F(StandInAudioTest, LoopbackDeliversWhatPlaysAndALostServerInvalidatesTheDevice) {
  std::string error;
  std::unique_ptr<PrivateSoundServer> server =
      PrivateSoundServer::Start("float32le", 48000, 2, &error);
  ASSERT_NE(server, nullptr) << error;
  ASSERT_TRUE(server->StartKeeper());
  halvex::testing::UseSystemAudio();
  Owned<IMMDevice> device;
  ASSERT_EQ(DefaultDevice(&device), S_OK);
  Owned<IAudioClient> client;
  ASSERT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
  WAVEFORMATEX* mix = nullptr;
  ASSERT_EQ(client->GetMixFormat(&mix), S_OK);
  const HRESULT initialized = client->Initialize(
      AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 10000000, 0, mix, nullptr);
  CoTaskMemFree(mix);
  ASSERT_EQ(initialized, S_OK);
  Owned<IAudioCaptureClient> capture;
  ASSERT_EQ(client->GetService(IID_IAudioCaptureClient, capture.PutVoid()), S_OK);
  ASSERT_EQ(client->Start(), S_OK);

  std::vector<std::vector<BYTE>> sound;
  int silent = 0;
  const auto quiet_until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < quiet_until) {
    Drain(capture.get(), &sound, &silent);
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
  }
  EXPECT_GT(silent, 0) << "a running sink delivers packets, flagged silent";
  EXPECT_TRUE(sound.empty()) << "nothing played, yet sound arrived";

  std::unique_ptr<BackgroundProcess> player =
      server->Play(SineWave(440.0, 0.5, 48000, 24000), 48000);
  ASSERT_NE(player, nullptr);
  while (player->Running()) {
    Drain(capture.get(), &sound, &silent);
    std::this_thread::sleep_for(std::chrono::milliseconds(8));
  }
  Drain(capture.get(), &sound, &silent);
  std::vector<std::int16_t> left;
  for (const std::vector<BYTE>& packet : sound) {
    for (std::size_t i = 0; i + 8 <= packet.size(); i += 8) {
      float sample = 0.0f;
      std::memcpy(&sample, packet.data() + i, 4);
      left.push_back(static_cast<std::int16_t>(sample * 32767.0f));
    }
  }
  ASSERT_GT(left.size(), 12000u);
  const std::size_t onset = FirstLoudSample(left.data(), left.size(), 3000);
  ASSERT_LT(onset + 9600, left.size());
  EXPECT_NEAR(ToneFrequency(left.data() + onset, 9600, 48000), 440.0, 2.0);

  server->Kill();
  HRESULT status = S_OK;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (status == S_OK && std::chrono::steady_clock::now() < deadline) {
    UINT32 frames = 0;
    status = capture->GetNextPacketSize(&frames);
    if (status == S_OK && frames > 0) {
      BYTE* data = nullptr;
      DWORD flags = 0;
      if (capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) == S_OK) {
        capture->ReleaseBuffer(frames);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(status, AUDCLNT_E_DEVICE_INVALIDATED);
  EXPECT_EQ(client->Stop(), S_OK);
  capture.Reset();
  client.Reset();
  device.Reset();
  Owned<IMMDevice> next;
  EXPECT_EQ(DefaultDevice(&next), E_NOTFOUND) << "the lost sink is no longer the default";
}

}  // namespace
}  // namespace halvex::media_testing
