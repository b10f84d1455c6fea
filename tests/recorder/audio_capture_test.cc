#include <audioclient.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/recorder/recorder_test_support.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using testing_support::WaitFor;

constexpr auto kTimeout = std::chrono::seconds(10);

template <typename T>
std::vector<BYTE> Interleaved(const std::vector<T>& values) {
  std::vector<BYTE> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// `frames` stereo float frames of (left, right).
std::vector<BYTE> StereoFloat(UINT32 frames, float left, float right) {
  std::vector<float> samples;
  for (UINT32 i = 0; i < frames; ++i) {
    samples.insert(samples.end(), {left, right});
  }
  return Interleaved(samples);
}

std::vector<int16_t> SamplesOf(const mf::RecordedSample& sample) {
  std::vector<int16_t> samples(sample.bytes.size() / 2);
  std::memcpy(samples.data(), sample.bytes.data(), sample.bytes.size());
  return samples;
}

std::vector<mf::RecordedSample> AudioSamples() {
  std::vector<mf::RecordedSample> audio;
  const std::vector<mf::RecordedSinkWriter> writers = mf::SinkWriters();
  for (const mf::RecordedSample& sample : writers.at(0).samples) {
    if (sample.stream_index == 1) {
      audio.push_back(sample);
    }
  }
  return audio;
}

std::vector<size_t> ChunkLengths() {
  std::vector<size_t> lengths;
  for (const mf::RecordedSample& sample : AudioSamples()) {
    lengths.push_back(sample.bytes.size() / 2);
  }
  return lengths;
}

class AudioCaptureTest : public RecorderTest {
 protected:
  // A recording with audio whose capture thread has started (after its third frame).
  void StartCapturing(const mf::MixFormat& format = mf::MixFormat{}, int frames = 3) {
    ASSERT_TRUE(mf::SetDefaultAudioDevice(format));
    StartRecording(30.0, true);
    for (int i = 0; i < frames; ++i) {
      AppendFrame();
    }
    ASSERT_TRUE(peer().State().hasAudioThread);
  }

  void QueueAndWait(const mf::AudioPacket& packet) {
    ASSERT_TRUE(mf::QueuePacket(packet));
    ASSERT_TRUE(mf::WaitUntilPacketsConsumed(kTimeout));
  }
};

TEST_F(AudioCaptureTest, OpensSharedLoopbackInTheMixFormatAndSkipsTheLoopWhenAlreadyStopped) {
  ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
  peer().RunAudioCaptureLoop();  // the stop flag is set while no recording runs

  const mf::AudioCalls calls = mf::RecordedAudioCalls();
  ASSERT_EQ(calls.endpoint_requests.size(), 1u);
  EXPECT_EQ(calls.endpoint_requests[0].flow, eRender);
  EXPECT_EQ(calls.endpoint_requests[0].role, eConsole);
  ASSERT_EQ(calls.activations.size(), 1u);
  EXPECT_TRUE(calls.activations[0].iid == IID_IAudioClient);
  EXPECT_EQ(calls.activations[0].class_context, static_cast<DWORD>(CLSCTX_ALL));
  EXPECT_FALSE(calls.activations[0].parameters_given);
  ASSERT_EQ(calls.initializations.size(), 1u);
  const mf::RecordedInitialize& init = calls.initializations[0];
  EXPECT_EQ(init.share_mode, AUDCLNT_SHAREMODE_SHARED);
  EXPECT_EQ(init.stream_flags, static_cast<DWORD>(AUDCLNT_STREAMFLAGS_LOOPBACK));
  EXPECT_EQ(init.buffer_duration, 10000000);
  EXPECT_EQ(init.periodicity, 0);
  EXPECT_EQ(init.format, mf::MixFormatBytes(mf::MixFormat{}));
  EXPECT_FALSE(init.session_guid_given);
  ASSERT_EQ(calls.stream_calls.size(), 2u);
  EXPECT_EQ(calls.stream_calls[0].call, mf::StreamCall::kStart);
  EXPECT_EQ(calls.stream_calls[1].call, mf::StreamCall::kStop);
  EXPECT_EQ(mf::CallCount("IAudioCaptureClient::GetNextPacketSize"), 0);
}

TEST_F(AudioCaptureTest, EveryOpeningFailureEndsTheThreadAndReleasesWhatItMade) {
  mf::MixFormat doubles;
  doubles.format_tag = WAVE_FORMAT_IEEE_FLOAT;
  doubles.bits_per_sample = 64;
  const struct {
    const char* name;
    const char* failingCall;
    int nth;
    bool device;
    mf::MixFormat format;
    int endpointRequests;
    size_t stops;  // IAudioClient::Stop follows only a successful Start
  } cases[] = {
      {"no device", nullptr, 0, false, {}, 2, 0},
      {"no enumerator", "CoCreateInstance", 1, true, {}, 0, 0},
      {"console role fails, multimedia used",
       "IMMDeviceEnumerator::GetDefaultAudioEndpoint",
       1,
       true,
       {},
       2,
       1},
      {"activation", "IMMDevice::Activate", 1, true, {}, 1, 0},
      {"mix format", "IAudioClient::GetMixFormat", 1, true, {}, 1, 0},
      {"initialisation", "IAudioClient::Initialize", 1, true, {}, 1, 0},
      {"capture service", "IAudioClient::GetService", 1, true, {}, 1, 0},
      {"start", "IAudioClient::Start", 1, true, {}, 1, 0},
      {"64-bit float samples", nullptr, 0, true, doubles, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetAudio();
    mf::ResetFaults();
    if (c.device) {
      ASSERT_TRUE(mf::SetDefaultAudioDevice(c.format));
    }
    if (c.failingCall != nullptr) {
      mf::FailCall(c.failingCall, E_FAIL, c.nth);
    }
    peer().RunAudioCaptureLoop();
    EXPECT_EQ(mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint"), c.endpointRequests);
    size_t stops = 0;
    for (const mf::RecordedStreamCall& call : mf::RecordedAudioCalls().stream_calls) {
      stops += call.call == mf::StreamCall::kStop ? 1 : 0;
    }
    EXPECT_EQ(stops, c.stops);
    EXPECT_EQ(mf::LiveObjects("IAudioClient"), 0);
    EXPECT_EQ(mf::LiveObjects("IAudioCaptureClient"), 0);
    EXPECT_EQ(mf::LiveObjects("IMMDevice"), 0);
    EXPECT_EQ(mf::LiveObjects("IMMDeviceEnumerator"), 0);
  }
}

TEST_F(AudioCaptureTest, PacketsAreMixedResampledAndWrittenAsOneSampleEach) {
  auto format = [](WORD tag, WORD channels, DWORD rate, WORD bits) {
    mf::MixFormat mix;
    mix.format_tag = tag;
    mix.channels = channels;
    mix.samples_per_second = rate;
    mix.bits_per_sample = bits;
    mix.valid_bits_per_sample = bits;
    return mix;
  };
  std::vector<int16_t> stereo16;
  std::vector<int32_t> stereo32;
  for (int i = 0; i < 480; ++i) {
    stereo16.insert(stereo16.end(), {1001, -2000});
    stereo32.insert(stereo32.end(), {1001 * 65536, -2000 * 65536});
  }
  const struct {
    const char* name;
    mf::MixFormat format;
    mf::AudioPacket packet;
    size_t length;
    int16_t value;
  } cases[] = {
      {"48 kHz float stereo", mf::MixFormat{}, {480, 0, StereoFloat(480, 0.5f, 0.25f)}, 480, 12288},
      {"44.1 kHz float",
       format(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32),
       {441, 0, StereoFloat(441, -0.5f, -0.5f)},
       480,
       -16384},
      {"16-bit", format(WAVE_FORMAT_PCM, 2, 48000, 16), {480, 0, Interleaved(stereo16)}, 480, -499},
      {"32-bit integer",
       format(WAVE_FORMAT_PCM, 2, 48000, 32),
       {480, 0, Interleaved(stereo32)},
       480,
       -499},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    StartCapturing(c.format);
    QueueAndWait(c.packet);
    // Audible from the start: silence first brings the audio to the end of the three frames.
    const std::vector<mf::RecordedSample> audio = AudioSamples();
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(SamplesOf(audio[0]), std::vector<int16_t>(4799, 0));
    EXPECT_EQ(SamplesOf(audio[1]), std::vector<int16_t>(c.length, c.value));
    EXPECT_EQ(audio[1].time, 4799LL * 10000000 / 48000);
    EXPECT_EQ(audio[1].duration, static_cast<LONGLONG>(c.length) * 10000000 / 48000);
    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_TRUE(hasAudio);
    recorder().Stop();
  }
}

TEST_F(AudioCaptureTest, TheFirstAudibleChunkIsAlignedToTheVideo) {
  const struct {
    const char* name;
    const char* failingCall;
    std::vector<mf::AudioPacket> packets;
    std::vector<size_t> chunks;  // audio sample lengths, stop's padding included
    bool appendHasAudio, stopHasAudio;
  } cases[] = {
      {"audible",
       nullptr,
       {{480, 0, StereoFloat(480, 0.5f, 0.5f)}},
       {48000, 48000, 47999, 480},
       true,
       true},
      {"quiet first",
       nullptr,
       {{480, 0, StereoFloat(480, 0.005f, 0.005f)}, {480, 0, StereoFloat(480, 0.5f, 0.5f)}},
       {480, 480, 48000, 48000, 47039},
       true,
       true},
      {"quiet only",
       nullptr,
       {{480, 0, StereoFloat(480, 0.005f, 0.0f)}},
       {480, 48000, 48000, 47519},
       false,
       true},
      {"flagged silent",
       nullptr,
       {{480, AUDCLNT_BUFFERFLAGS_SILENT, {}}},
       {48000, 48000, 47999},
       false,
       false},
      {"capture unavailable", "IAudioClient::Initialize", {}, {48000, 48000, 47999}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::ResetFaults();
    if (c.failingCall != nullptr) {
      mf::FailCall(c.failingCall, E_FAIL);
    }
    StartCapturing(mf::MixFormat{}, 90);
    for (const mf::AudioPacket& packet : c.packets) {
      QueueAndWait(packet);
    }
    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_EQ(hasAudio, c.appendHasAudio);
    EXPECT_EQ(recorder().Stop().hasAudio, c.stopHasAudio);
    EXPECT_EQ(ChunkLengths(), c.chunks);
    // One time line: every chunk starts where the previous one ended.
    int64_t position = 0;
    for (const mf::RecordedSample& sample : AudioSamples()) {
      EXPECT_EQ(sample.time, position * 10000000 / 48000);
      position += static_cast<int64_t>(sample.bytes.size() / 2);
    }
  }
}

TEST_F(AudioCaptureTest, AFailingPacketQueryEndsCaptureOnItsOwn) {
  mf::FailCall("IAudioCaptureClient::GetNextPacketSize", E_FAIL, 1);
  StartCapturing();
  EXPECT_TRUE(WaitFor([] { return mf::RecordedAudioCalls().stream_calls.size() == 2; }));
  EXPECT_EQ(recorder().Stop().frames, 3);
}

TEST_F(AudioCaptureTest, FramesAndAudioInterleaveOnOneWriter) {
  StartCapturing();
  std::atomic<bool> producing{true};
  std::thread producer([&] {
    for (int i = 0; i < 100 && producing; ++i) {
      mf::QueuePacket(480, 0, StereoFloat(480, i % 2 ? 0.5f : -0.5f, 0.0f));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int frame = 0; frame < 60; ++frame) {
    AppendFrame();
  }
  producer.join();
  ASSERT_TRUE(mf::WaitUntilPacketsConsumed(kTimeout));
  const StopResult stopped = recorder().Stop();
  EXPECT_EQ(stopped.frames, 63);
  EXPECT_TRUE(stopped.hasAudio);
  int64_t position = 0;
  for (const mf::RecordedSample& sample : AudioSamples()) {
    EXPECT_EQ(sample.time, position * 10000000 / 48000);
    position += static_cast<int64_t>(sample.bytes.size() / 2);
  }
  EXPECT_GE(position, 63 * 333333LL * 48000 / 10000000);
}

TEST_F(AudioCaptureTest, StopWhileAPacketIsInFlightIsConsistent) {
  StartCapturing();
  std::unique_lock<std::mutex> lock = peer().Lock();
  ASSERT_TRUE(mf::QueuePacket(480, 0, StereoFloat(480, 0.5f, 0.5f)));
  // The capture thread holds the packet and waits for the lock to write it.
  ASSERT_TRUE(WaitFor([] { return mf::PendingPackets() == 0; }));
  StopResult stopped;
  std::thread stopper([&] { stopped = recorder().Stop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  lock.unlock();
  stopper.join();

  // Whichever took the lock first, the reply agrees with the file and nothing follows the stop.
  const std::vector<size_t> chunks = ChunkLengths();
  if (stopped.hasAudio) {
    EXPECT_EQ(chunks, (std::vector<size_t>{4799, 480}));  // the capture thread wrote first
  } else {
    EXPECT_EQ(chunks, std::vector<size_t>{4799});  // the chunk was dropped; stop padded
  }
  EXPECT_EQ(mf::SinkWriters()[0].finalize_results.size(), 1u);
  EXPECT_TRUE(mf::AllPacketsConsumed());
  mf::QueuePacket(480, 0, StereoFloat(480, 0.5f, 0.5f));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(ChunkLengths(), chunks);
  EXPECT_FALSE(peer().State().hasAudioThread);
}

}  // namespace
}  // namespace halvex
