// The hooks a real capture source plugs into: a provider of the default device when no test set
// one, and the start and stop notices of the streams on a device.
#include <gtest/gtest.h>

#include <audioclient.h>
#include <combaseapi.h>
#include <mmdeviceapi.h>

#include <memory>
#include <vector>

#include "com_test_support.h"
#include "wasapi_device_script.h"

namespace {

using halvex::platform::DeviceScript;
using halvex::test::Owned;
using halvex::test::StandInTest;

class DeviceProviderTest : public StandInTest {
 protected:
  void TearDown() override {
    halvex::platform::SetDefaultDeviceProvider(nullptr);
    StandInTest::TearDown();
  }

  static HRESULT OpenClient(Owned<IAudioClient>* client) {
    Owned<IMMDeviceEnumerator> enumerator;
    Owned<IMMDevice> device;
    HRESULT hr = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                                  IID_IMMDeviceEnumerator, enumerator.PutVoid());
    if (SUCCEEDED(hr)) {
      hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put());
    }
    if (SUCCEEDED(hr)) {
      hr = device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client->PutVoid());
    }
    return hr;
  }
};

TEST_F(DeviceProviderTest, ProvidedDeviceBecomesTheDefaultAndHearsItsStreamsRun) {
  const std::vector<BYTE> format = halvex::testing::MixFormatBytes({});
  int provided = 0;
  std::vector<bool> running;
  halvex::platform::SetDefaultDeviceProvider([&] {
    ++provided;
    auto device = std::make_shared<DeviceScript>(format);
    device->SetRunningObserver([&running](bool now_running) { running.push_back(now_running); });
    return device;
  });

  Owned<IAudioClient> first;
  ASSERT_EQ(OpenClient(&first), S_OK);
  WAVEFORMATEX* mix = nullptr;
  ASSERT_EQ(first->GetMixFormat(&mix), S_OK);
  ASSERT_EQ(first->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 10000000, 0,
                              mix, nullptr),
            S_OK);
  CoTaskMemFree(mix);
  ASSERT_EQ(first->Start(), S_OK);
  ASSERT_EQ(first->Stop(), S_OK);
  ASSERT_EQ(first->Stop(), S_FALSE);  // Not a second notice.
  ASSERT_EQ(first->Start(), S_OK);
  first.Reset();  // Released while running: the stream stops.

  Owned<IAudioClient> second;
  ASSERT_EQ(OpenClient(&second), S_OK);
  EXPECT_EQ(provided, 1);  // Asked once; then the device is the default.
  EXPECT_EQ(running, (std::vector<bool>{true, false, true, false}));
}

TEST_F(DeviceProviderTest, ProviderWithoutADeviceLeavesNone) {
  halvex::platform::SetDefaultDeviceProvider([] { return std::shared_ptr<DeviceScript>(); });
  Owned<IAudioClient> client;
  EXPECT_EQ(OpenClient(&client), E_NOTFOUND);
  // A scripted device takes precedence over the provider.
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(halvex::testing::MixFormat{}));
  EXPECT_EQ(OpenClient(&client), S_OK);
}

}  // namespace
