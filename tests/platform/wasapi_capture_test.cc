// The scripted audio device: endpoint lookup, client set-up rules and the packet protocol the
// capture loop relies on, including packets fed from another thread while it reads.
#include <gtest/gtest.h>

#include <windows.h>

#include <audioclient.h>
#include <combaseapi.h>
#include <ksmedia.h>
#include <mmdeviceapi.h>
#include <mmreg.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <ostream>
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;
using halvex::testing::AudioPacket;
using halvex::testing::MixFormat;

constexpr MixFormat kStereoFloat{};  // 48 kHz, 2 x 32-bit float, extensible
constexpr MixFormat kStereo16{WAVE_FORMAT_PCM, 2, 44100, 16, 16, KSDATAFORMAT_SUBTYPE_PCM, 3};

Owned<IMMDevice> DefaultRenderDevice(HRESULT* result = nullptr) {
  Owned<IMMDeviceEnumerator> enumerator;
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             enumerator.PutVoid()),
            S_OK);
  Owned<IMMDevice> device;
  const HRESULT hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put());
  if (result != nullptr) {
    *result = hr;
  }
  return device;
}

Owned<IAudioClient> ActivatedClient() {
  Owned<IMMDevice> device = DefaultRenderDevice();
  Owned<IAudioClient> client;
  if (device) {
    EXPECT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()), S_OK);
  }
  return client;
}

// A client set up as the product sets it up: shared loopback in the mix format, capture service.
struct Capture {
  Owned<IAudioClient> client;
  Owned<IAudioCaptureClient> capture;
};

Capture OpenLoopbackCapture() {
  Capture opened;
  opened.client = ActivatedClient();
  WAVEFORMATEX* format = nullptr;
  EXPECT_EQ(opened.client->GetMixFormat(&format), S_OK);
  EXPECT_EQ(opened.client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                      10000000, 0, format, nullptr),
            S_OK);
  CoTaskMemFree(format);
  EXPECT_EQ(opened.client->GetService(IID_IAudioCaptureClient, opened.capture.PutVoid()), S_OK);
  return opened;
}

std::vector<BYTE> Bytes(std::size_t count, BYTE first) {
  std::vector<BYTE> bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<BYTE>(first + i);
  }
  return bytes;
}

TEST_F(StandInTest, WithoutADeviceThereIsNoEndpoint) {
  HRESULT result = S_OK;
  Owned<IMMDevice> device = DefaultRenderDevice(&result);
  EXPECT_EQ(result, E_NOTFOUND);
  EXPECT_FALSE(device);

  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  Owned<IMMDeviceEnumerator> enumerator;
  ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             enumerator.PutVoid()),
            S_OK);
  IMMDevice* capture_device = reinterpret_cast<IMMDevice*>(this);
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &capture_device), E_NOTFOUND);
  EXPECT_EQ(capture_device, nullptr);
  Owned<IMMDevice> multimedia;
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, multimedia.Put()), S_OK);

  const auto requests = halvex::testing::RecordedAudioCalls().endpoint_requests;
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].result, E_NOTFOUND);
  EXPECT_EQ(requests[1].flow, eCapture);
  EXPECT_EQ(requests[2].role, eMultimedia);
  EXPECT_EQ(requests[2].result, S_OK);
}

TEST_F(StandInTest, MixFormatIsATaskMemoryCopyOfTheScriptedFormat) {
  const std::vector<BYTE> expected = halvex::testing::MixFormatBytes(kStereoFloat);
  ASSERT_EQ(expected.size(), sizeof(WAVEFORMATEXTENSIBLE));
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  Owned<IAudioClient> client = ActivatedClient();
  const int task_memory_before = halvex::testing::LiveTaskMemAllocations();
  WAVEFORMATEX* format = nullptr;
  ASSERT_EQ(client->GetMixFormat(&format), S_OK);
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), task_memory_before + 1);
  EXPECT_EQ(format->cbSize, 22);
  EXPECT_EQ(format->nBlockAlign, 8);
  EXPECT_EQ(format->nAvgBytesPerSec, 384000u);
  const auto* extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
  EXPECT_EQ(extensible->SubFormat, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
  EXPECT_EQ(std::memcmp(format, expected.data(), expected.size()), 0);
  CoTaskMemFree(format);

  const std::vector<BYTE> plain = halvex::testing::MixFormatBytes(kStereo16);
  ASSERT_EQ(plain.size(), sizeof(WAVEFORMATEX));
  WAVEFORMATEX header;
  std::memcpy(&header, plain.data(), sizeof(header));
  EXPECT_EQ(header.cbSize, 0);
  EXPECT_EQ(header.nBlockAlign, 4);
}

TEST_F(StandInTest, MalformedScriptsAreRefusedWhole) {
  std::vector<BYTE> truncated = halvex::testing::MixFormatBytes(kStereoFloat);
  truncated.pop_back();
  EXPECT_FALSE(halvex::testing::SetDefaultAudioDevice(truncated));
  EXPECT_FALSE(halvex::testing::SetDefaultAudioDevice(std::vector<BYTE>(17)));
  EXPECT_FALSE(halvex::testing::SetDefaultAudioDevice(kStereoFloat, {{4, 0, Bytes(31, 0)}}));
  EXPECT_FALSE(halvex::testing::SetDefaultAudioDevice(kStereoFloat, {{1, 0, {}}, {0, 0, {}}}));
  EXPECT_FALSE(halvex::testing::SetDefaultAudioDevice(kStereoFloat, {{0x7FFFFFFF, 0, {}}}));
  EXPECT_FALSE(halvex::testing::QueuePacket(1, 0));  // No device to queue on.
  HRESULT result = S_OK;
  DefaultRenderDevice(&result);
  EXPECT_EQ(result, E_NOTFOUND);
}

struct ClientCase {
  const char* name;
  std::function<HRESULT(IAudioClient*, WAVEFORMATEX*)> call;
  HRESULT expected;
};

void PrintTo(const ClientCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class ClientSetUpRules : public StandInTest, public ::testing::WithParamInterface<ClientCase> {};

TEST_P(ClientSetUpRules, AnswerAsWindowsDoes) {
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  Owned<IAudioClient> client = ActivatedClient();
  WAVEFORMATEX* format = nullptr;
  ASSERT_EQ(client->GetMixFormat(&format), S_OK);
  EXPECT_EQ(GetParam().call(client.get(), format), GetParam().expected);
  CoTaskMemFree(format);
}

HRESULT InitializeLoopback(IAudioClient* client, WAVEFORMATEX* format) {
  return client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK, 10000000, 0,
                            format, nullptr);
}

HRESULT ServiceInto(IAudioClient* client, const IID& iid) {
  Owned<IUnknown> service;
  return client->GetService(iid, service.PutVoid());
}

INSTANTIATE_TEST_SUITE_P(
    Audio,
    ClientSetUpRules,
    ::testing::Values(
        ClientCase{"InitializeTwice",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     InitializeLoopback(c, f);
                     return InitializeLoopback(c, f);
                   },
                   AUDCLNT_E_ALREADY_INITIALIZED},
        ClientCase{"FormatOtherThanTheMixFormat",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     f->nSamplesPerSec = 44100;
                     return InitializeLoopback(c, f);
                   },
                   AUDCLNT_E_UNSUPPORTED_FORMAT},
        ClientCase{"ExclusiveMode",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     return c->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, 0, 10000000, 10000000, f,
                                          nullptr);
                   },
                   AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED},
        ClientCase{"NoFormat",
                   [](IAudioClient* c, WAVEFORMATEX*) { return InitializeLoopback(c, nullptr); },
                   E_POINTER},
        ClientCase{
            "ServiceBeforeInitialize",
            [](IAudioClient* c, WAVEFORMATEX*) { return ServiceInto(c, IID_IAudioCaptureClient); },
            AUDCLNT_E_NOT_INITIALIZED},
        ClientCase{"CaptureServiceOfAPlaybackStream",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     c->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 10000000, 0, f, nullptr);
                     return ServiceInto(c, IID_IAudioCaptureClient);
                   },
                   AUDCLNT_E_WRONG_ENDPOINT_TYPE},
        ClientCase{"UnknownService",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     InitializeLoopback(c, f);
                     return ServiceInto(c, IID_IAudioClient);
                   },
                   E_NOINTERFACE},
        ClientCase{"StartBeforeInitialize",
                   [](IAudioClient* c, WAVEFORMATEX*) { return c->Start(); },
                   AUDCLNT_E_NOT_INITIALIZED},
        ClientCase{"StartTwice",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     InitializeLoopback(c, f);
                     c->Start();
                     return c->Start();
                   },
                   AUDCLNT_E_NOT_STOPPED},
        ClientCase{"StopWhenStopped",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     InitializeLoopback(c, f);
                     return c->Stop();
                   },
                   S_FALSE},
        ClientCase{"BufferSizeFollowsTheDuration",
                   [](IAudioClient* c, WAVEFORMATEX* f) {
                     InitializeLoopback(c, f);
                     UINT32 frames = 0;
                     c->GetBufferSize(&frames);
                     return frames == 48000 ? S_OK : E_FAIL;
                   },
                   S_OK}),
    [](const ::testing::TestParamInfo<ClientCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, InitializeArgumentsAreRecordedAsPassed) {
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  Capture opened = OpenLoopbackCapture();
  const auto calls = halvex::testing::RecordedAudioCalls();
  ASSERT_EQ(calls.activations.size(), 1u);
  EXPECT_EQ(calls.activations[0].iid, IID_IAudioClient);
  EXPECT_EQ(calls.activations[0].class_context, static_cast<DWORD>(CLSCTX_ALL));
  EXPECT_FALSE(calls.activations[0].parameters_given);
  ASSERT_EQ(calls.initializations.size(), 1u);
  const auto& init = calls.initializations[0];
  EXPECT_EQ(init.share_mode, AUDCLNT_SHAREMODE_SHARED);
  EXPECT_EQ(init.stream_flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_LOOPBACK));
  EXPECT_EQ(init.buffer_duration, 10000000);
  EXPECT_EQ(init.periodicity, 0);
  EXPECT_EQ(init.format, halvex::testing::MixFormatBytes(kStereoFloat));
  EXPECT_FALSE(init.session_guid_given);
  EXPECT_EQ(init.result, S_OK);
}

// One step of the capture protocol and what it must answer.
struct ProtocolStep {
  enum Kind { kNextSize, kGet, kRelease, kStart, kStop } kind;
  UINT32 frames;  // expected frames (kNextSize, kGet) or frames to release (kRelease)
  HRESULT expected;
  BYTE first_byte = 0;  // kGet: first data byte of the packet expected
  DWORD flags = 0;      // kGet: flags expected
};

struct ProtocolCase {
  const char* name;
  std::vector<ProtocolStep> steps;
  std::size_t consumed_at_end;
};

void PrintTo(const ProtocolCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class PacketProtocol : public StandInTest, public ::testing::WithParamInterface<ProtocolCase> {};

TEST_P(PacketProtocol, DeliversInOrderOnlyWhileStarted) {
  // Three packets of 16-bit stereo: 2, 3 and 1 frames, the middle one flagged silent.
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(
      kStereo16, {{2, 0, Bytes(8, 10)},
                  {3, AUDCLNT_BUFFERFLAGS_SILENT, {}},
                  {1, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY, Bytes(4, 50)}}));
  Capture opened = OpenLoopbackCapture();
  for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
    const ProtocolStep& step = GetParam().steps[i];
    switch (step.kind) {
      case ProtocolStep::kStart:
        EXPECT_EQ(opened.client->Start(), step.expected) << "step " << i;
        break;
      case ProtocolStep::kStop:
        EXPECT_EQ(opened.client->Stop(), step.expected) << "step " << i;
        break;
      case ProtocolStep::kNextSize: {
        UINT32 frames = 99;
        EXPECT_EQ(opened.capture->GetNextPacketSize(&frames), step.expected) << "step " << i;
        EXPECT_EQ(frames, step.frames) << "step " << i;
        break;
      }
      case ProtocolStep::kGet: {
        BYTE* data = reinterpret_cast<BYTE*>(this);
        UINT32 frames = 99;
        DWORD flags = 99;
        EXPECT_EQ(opened.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr),
                  step.expected)
            << "step " << i;
        EXPECT_EQ(frames, step.frames) << "step " << i;
        if (step.expected == S_OK) {
          ASSERT_NE(data, nullptr);
          EXPECT_EQ(data[0], step.first_byte) << "step " << i;
          EXPECT_EQ(flags, step.flags) << "step " << i;
        } else {
          EXPECT_EQ(data, nullptr) << "step " << i;
        }
        break;
      }
      case ProtocolStep::kRelease:
        EXPECT_EQ(opened.capture->ReleaseBuffer(step.frames), step.expected) << "step " << i;
        break;
    }
  }
  EXPECT_EQ(halvex::testing::ConsumedPackets(), GetParam().consumed_at_end);
}

using S = ProtocolStep;

INSTANTIATE_TEST_SUITE_P(
    Audio,
    PacketProtocol,
    ::testing::Values(ProtocolCase{"NothingBeforeStart",
                                   {{S::kNextSize, 0, S_OK},
                                    {S::kGet, 0, AUDCLNT_S_BUFFER_EMPTY},
                                    {S::kRelease, 0, AUDCLNT_E_OUT_OF_ORDER}},
                                   0},
                      ProtocolCase{"AllPacketsInOrderThenNone",
                                   {{S::kStart, 0, S_OK},
                                    {S::kNextSize, 2, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kRelease, 2, S_OK},
                                    {S::kNextSize, 3, S_OK},
                                    {S::kGet, 3, S_OK, 0, AUDCLNT_BUFFERFLAGS_SILENT},
                                    {S::kRelease, 3, S_OK},
                                    {S::kGet, 1, S_OK, 50, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY},
                                    {S::kRelease, 1, S_OK},
                                    {S::kNextSize, 0, S_OK},
                                    {S::kGet, 0, AUDCLNT_S_BUFFER_EMPTY}},
                                   3},
                      ProtocolCase{"OneBufferAtATime",
                                   {{S::kStart, 0, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kGet, 0, AUDCLNT_E_OUT_OF_ORDER},
                                    {S::kRelease, 2, S_OK},
                                    {S::kRelease, 2, AUDCLNT_E_OUT_OF_ORDER}},
                                   1},
                      ProtocolCase{"ReleaseMustMatchTheFramesObtained",
                                   {{S::kStart, 0, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kRelease, 1, AUDCLNT_E_INVALID_SIZE},
                                    {S::kRelease, 3, AUDCLNT_E_INVALID_SIZE},
                                    {S::kRelease, 2, S_OK},
                                    {S::kNextSize, 3, S_OK}},
                                   1},
                      ProtocolCase{"ReleasingNoFramesHandsThePacketOutAgain",
                                   {{S::kStart, 0, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kRelease, 0, S_OK},
                                    {S::kNextSize, 2, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kRelease, 2, S_OK}},
                                   1},
                      ProtocolCase{"StopHoldsBackTheRest",
                                   {{S::kStart, 0, S_OK},
                                    {S::kGet, 2, S_OK, 10, 0},
                                    {S::kRelease, 2, S_OK},
                                    {S::kStop, 0, S_OK},
                                    {S::kNextSize, 0, S_OK},
                                    {S::kGet, 0, AUDCLNT_S_BUFFER_EMPTY},
                                    {S::kStart, 0, S_OK},
                                    {S::kNextSize, 3, S_OK}},
                                   1}),
    [](const ::testing::TestParamInfo<ProtocolCase>& case_info) { return case_info.param.name; });

// Packets without positions of their own follow on from the one before, by frames and by time
// (44.1 kHz: 441 frames last 100000 ticks); the first starts at the counter's reading.
TEST_F(StandInTest, PositionsFollowOnUnlessAPacketGivesItsOwn) {
  halvex::testing::SetPerformanceCounter(7000000);
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(
      kStereo16, {AudioPacket(441), AudioPacket(441), AudioPacket(2, 0, {}, 5000, 90000000),
                  AudioPacket(441), AudioPacket(1, 0, {}, std::nullopt, 10)}));
  Capture opened = OpenLoopbackCapture();
  ASSERT_EQ(opened.client->Start(), S_OK);
  const struct {
    UINT64 position, time;
  } expected[] = {{0, 7000000}, {441, 7100000}, {5000, 90000000}, {5002, 90000453}, {5443, 10}};
  for (const auto& want : expected) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 position = 0;
    UINT64 time = 0;
    ASSERT_EQ(opened.capture->GetBuffer(&data, &frames, &flags, &position, &time), S_OK);
    EXPECT_EQ(position, want.position);
    EXPECT_EQ(time, want.time);
    ASSERT_EQ(opened.capture->ReleaseBuffer(frames), S_OK);
  }
  EXPECT_TRUE(halvex::testing::AllPacketsConsumed());
  halvex::testing::UsePerformanceCounterOfTheSystem();
}

TEST_F(StandInTest, ThePerformanceCounterRunsOrStandsWhereATestSetIt) {
  LARGE_INTEGER frequency;
  ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
  EXPECT_EQ(frequency.QuadPart, 10000000);
  LARGE_INTEGER first;
  LARGE_INTEGER second;
  ASSERT_TRUE(QueryPerformanceCounter(&first));
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(QueryPerformanceCounter(&second));
  EXPECT_GE(second.QuadPart - first.QuadPart, 20000);

  halvex::testing::SetPerformanceCounter(123);
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(QueryPerformanceCounter(&first));
  EXPECT_EQ(first.QuadPart, 123);
  halvex::testing::AdvancePerformanceCounter(1000);
  ASSERT_TRUE(QueryPerformanceCounter(&first));
  EXPECT_EQ(first.QuadPart, 1123);
  halvex::testing::UsePerformanceCounterOfTheSystem();
  ASSERT_TRUE(QueryPerformanceCounter(&first));
  EXPECT_GT(first.QuadPart, 1123);
  EXPECT_FALSE(QueryPerformanceCounter(nullptr));
}

// A notification client hears of each change of the default device, for every role, until it is
// unregistered; the enumerator holds a reference to it meanwhile.
class CountingClient : public IMMNotificationClient {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow,
                                                   ERole role,
                                                   LPCWSTR id) override {
    if (flow == eRender && role == eConsole) {
      ids.push_back(id == nullptr ? L"(none)" : id);
    }
    return S_OK;
  }

  ULONG references = 1;
  std::vector<std::wstring> ids;
};

TEST_F(StandInTest, NotificationClientsHearOfEachNewDefaultDevice) {
  Owned<IMMDeviceEnumerator> enumerator;
  ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             enumerator.PutVoid()),
            S_OK);
  CountingClient client;
  EXPECT_EQ(enumerator->RegisterEndpointNotificationCallback(nullptr), E_POINTER);
  ASSERT_EQ(enumerator->RegisterEndpointNotificationCallback(&client), S_OK);
  EXPECT_EQ(client.references, 2u);
  EXPECT_EQ(halvex::testing::RegisteredNotificationClients(), 1u);

  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereo16, {},
                                                     halvex::testing::DeviceChangeNotice::kQuiet));
  halvex::testing::InvalidateDefaultAudioDevice();  // goes away without a word
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereo16));
  halvex::testing::RemoveDefaultAudioDevice();
  ASSERT_EQ(client.ids.size(), 3u);
  EXPECT_NE(client.ids[0], client.ids[1]);  // each device has an ID of its own
  EXPECT_EQ(client.ids[2], L"(none)");

  ASSERT_EQ(enumerator->UnregisterEndpointNotificationCallback(&client), S_OK);
  EXPECT_EQ(client.references, 1u);
  EXPECT_EQ(enumerator->UnregisterEndpointNotificationCallback(&client), E_NOTFOUND);
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat));
  EXPECT_EQ(client.ids.size(), 3u);
}

TEST_F(StandInTest, PacketsQueuedFromAnotherThreadArriveWholeAndInOrder) {
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereo16));
  Capture opened = OpenLoopbackCapture();
  ASSERT_EQ(opened.client->Start(), S_OK);
  constexpr int kPackets = 200;
  std::vector<int> received;
  std::thread reader([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received.size() < kPackets && std::chrono::steady_clock::now() < deadline) {
      UINT32 next = 0;
      if (FAILED(opened.capture->GetNextPacketSize(&next)) || next == 0) {
        std::this_thread::yield();
        continue;
      }
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      if (opened.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr) != S_OK) {
        continue;
      }
      // Each packet carries its sequence number in every byte.
      bool whole = frames == next;
      for (UINT32 i = 0; i < frames * 4; ++i) {
        whole = whole && data[i] == data[0];
      }
      received.push_back(whole ? data[0] : -1);
      opened.capture->ReleaseBuffer(frames);
    }
  });
  for (int i = 0; i < kPackets; ++i) {
    const UINT32 frames = 1 + i % 7;
    ASSERT_TRUE(halvex::testing::QueuePacket(frames, 0, std::vector<BYTE>(frames * 4, BYTE(i))));
  }
  EXPECT_TRUE(halvex::testing::WaitUntilPacketsConsumed(std::chrono::seconds(20)));
  reader.join();
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kPackets));
  for (int i = 0; i < kPackets; ++i) {
    EXPECT_EQ(received[i], i % 256);
  }
}

TEST_F(StandInTest, ARemovedDeviceInvalidatesItsObjects) {
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereoFloat, {{1, 0, {}}}));
  Owned<IMMDevice> device = DefaultRenderDevice();
  Capture opened = OpenLoopbackCapture();
  ASSERT_EQ(opened.client->Start(), S_OK);
  halvex::testing::RemoveDefaultAudioDevice();

  UINT32 frames = 0;
  EXPECT_EQ(opened.capture->GetNextPacketSize(&frames), AUDCLNT_E_DEVICE_INVALIDATED);
  BYTE* data = nullptr;
  DWORD flags = 0;
  EXPECT_EQ(opened.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr),
            AUDCLNT_E_DEVICE_INVALIDATED);
  Owned<IAudioClient> client;
  EXPECT_EQ(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, client.PutVoid()),
            AUDCLNT_E_DEVICE_INVALIDATED);
  HRESULT result = S_OK;
  DefaultRenderDevice(&result);
  EXPECT_EQ(result, E_NOTFOUND);
  EXPECT_EQ(opened.client->Stop(), S_OK);  // Stopping and releasing still work.
}

TEST_F(StandInTest, InjectedCaptureFailuresLeaveThePacketsWaiting) {
  ASSERT_TRUE(halvex::testing::SetDefaultAudioDevice(kStereo16, {{2, 0, {}}}));
  Capture opened = OpenLoopbackCapture();
  ASSERT_EQ(opened.client->Start(), S_OK);
  halvex::testing::FailCall("IAudioCaptureClient::GetNextPacketSize", E_FAIL, 1);
  halvex::testing::FailCall("IAudioCaptureClient::GetBuffer", AUDCLNT_E_BUFFER_TOO_LARGE, 1);
  UINT32 frames = 0;
  EXPECT_EQ(opened.capture->GetNextPacketSize(&frames), E_FAIL);
  EXPECT_EQ(opened.capture->GetNextPacketSize(&frames), S_OK);
  EXPECT_EQ(frames, 2u);
  BYTE* data = reinterpret_cast<BYTE*>(this);
  DWORD flags = 0;
  EXPECT_EQ(opened.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr),
            AUDCLNT_E_BUFFER_TOO_LARGE);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(halvex::testing::PendingPackets(), 1u);
  EXPECT_EQ(opened.capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr), S_OK);
  EXPECT_EQ(opened.capture->ReleaseBuffer(frames), S_OK);
  EXPECT_TRUE(halvex::testing::AllPacketsConsumed());
}

}  // namespace
