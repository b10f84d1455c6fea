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
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kFrame30 = 333333;  // 100-ns ticks of one frame at 30 fps
// Where the stopped performance counter stands while frames arrive.
constexpr int64_t kClockStart = 50 * kTicksPerSecond;

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

// 48000 × seconds, rounded down: where a time lies on the audio time line.
int64_t Samples(int64_t ticks) {
  return ticks * 48000 / kTicksPerSecond;
}

mf::MixFormat Format(WORD tag, WORD channels, DWORD rate, WORD bits, WORD validBits = 0) {
  mf::MixFormat mix;
  mix.format_tag = tag;
  mix.channels = channels;
  mix.samples_per_second = rate;
  mix.bits_per_sample = bits;
  mix.valid_bits_per_sample = validBits != 0 ? validBits : bits;
  if (tag == WAVE_FORMAT_EXTENSIBLE) {
    mix.sub_format = KSDATAFORMAT_SUBTYPE_PCM;
  }
  return mix;
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

// The whole audio track as one run of samples, after checking that every chunk starts where the
// one before it ended: one time line, never a gap the file would not show.
std::vector<int16_t> AudioTrack() {
  std::vector<int16_t> track;
  for (const mf::RecordedSample& sample : AudioSamples()) {
    EXPECT_EQ(sample.time, static_cast<LONGLONG>(track.size()) * kTicksPerSecond / 48000);
    const std::vector<int16_t> samples = SamplesOf(sample);
    track.insert(track.end(), samples.begin(), samples.end());
  }
  return track;
}

// The stretches of the track: (first sample, length, value) for each stretch of equal samples.
struct Stretch {
  size_t start, length;
  int16_t value;
  bool operator==(const Stretch& other) const {
    return start == other.start && length == other.length && value == other.value;
  }
};

std::ostream& operator<<(std::ostream& out, const Stretch& run) {
  return out << "{" << run.start << ", " << run.length << ", " << run.value << "}";
}

std::vector<Stretch> Stretches(const std::vector<int16_t>& track) {
  std::vector<Stretch> stretches;
  for (size_t i = 0; i < track.size(); ++i) {
    if (stretches.empty() || stretches.back().value != track[i]) {
      stretches.push_back(Stretch{i, 0, track[i]});
    }
    ++stretches.back().length;
  }
  return stretches;
}

class AudioCaptureTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    mf::SetPerformanceCounter(kClockStart);
  }

  // A recording with audio whose capture thread has started (after its third frame). The frames
  // all arrive at kClockStart, so the latest one starts the picture at that moment.
  void StartCapturing(const mf::MixFormat& format = mf::MixFormat{}, int frames = 3) {
    ASSERT_TRUE(mf::SetDefaultAudioDevice(format));
    StartRecording(30.0, true);
    for (int i = 0; i < frames; ++i) {
      AppendFrame();
    }
    ASSERT_TRUE(peer().State().hasAudioThread);
  }

  // Plays `packet`: the clock moves to the packet's end (when it gives its time), then the packet
  // is queued and taken.
  void Play(const mf::AudioPacket& packet, DWORD rate = 48000) {
    if (packet.qpc_position) {
      const int64_t end = static_cast<int64_t>(*packet.qpc_position) +
                          static_cast<int64_t>(packet.frames) * kTicksPerSecond / rate;
      mf::SetPerformanceCounter(std::max(end, mf::PerformanceCounterNow()));
    }
    ASSERT_TRUE(mf::QueuePacket(packet));
    ASSERT_TRUE(mf::WaitUntilPacketsConsumed(kTimeout));
  }
};

TEST_F(AudioCaptureTest, OpensSharedLoopbackInTheMixFormatAndSkipsTheLoopWhenAlreadyStopped) {
  ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
  peer().RunAudioCaptureLoop();  // the stop flag is set while no recording stretches

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
  // The loop listens for a new default device while it stretches, and for no longer.
  ASSERT_EQ(calls.notification_calls.size(), 2u);
  EXPECT_EQ(calls.notification_calls[0].call, mf::NotificationCall::kRegister);
  EXPECT_EQ(calls.notification_calls[1].call, mf::NotificationCall::kUnregister);
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
      {"no notifications",
       "IMMDeviceEnumerator::RegisterEndpointNotificationCallback",
       1,
       true,
       {},
       1,
       1},
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
    EXPECT_EQ(mf::RegisteredNotificationClients(), 0u);
  }
}

TEST_F(AudioCaptureTest, PacketsAreMixedResampledAndPlacedAtTheirTime) {
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
       Format(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32),
       {441, 0, StereoFloat(441, -0.5f, -0.5f)},
       480,
       -16384},
      {"16-bit", Format(WAVE_FORMAT_PCM, 2, 48000, 16), {480, 0, Interleaved(stereo16)}, 480, -499},
      {"32-bit integer",
       Format(WAVE_FORMAT_PCM, 2, 48000, 32),
       {480, 0, Interleaved(stereo32)},
       480,
       -499},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::SetPerformanceCounter(kClockStart);
    StartCapturing(c.format);
    // Captured 10 ms after the third frame came: it belongs 10 ms into that frame's picture.
    mf::AdvancePerformanceCounter(100000);
    Play(c.packet);
    const int64_t start = Samples(2 * kFrame30 + 100000);
    const std::vector<mf::RecordedSample> audio = AudioSamples();
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(SamplesOf(audio[0]), std::vector<int16_t>(static_cast<size_t>(start), 0));
    EXPECT_EQ(SamplesOf(audio[1]), std::vector<int16_t>(c.length, c.value));
    EXPECT_EQ(audio[1].time, start * 10000000 / 48000);
    EXPECT_EQ(audio[1].duration, static_cast<LONGLONG>(c.length) * 10000000 / 48000);
    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_TRUE(hasAudio);
    recorder().Stop();
  }
}

TEST_F(AudioCaptureTest, TheFirstPacketIsAlignedToThePictureOfItsMoment) {
  // 90 frames at 30 fps; the first packet comes 10 ms after the last frame began.
  const size_t start = static_cast<size_t>(Samples(89 * kFrame30 + 100000));  // 142879
  const size_t videoEnd = static_cast<size_t>(Samples(90 * kFrame30));        // 143999
  const size_t pad = start - 2 * 48000;
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
       {48000, 48000, pad, 480, videoEnd - start - 480},
       true,
       true},
      {"quiet first",
       nullptr,
       {{480, 0, StereoFloat(480, 0.005f, 0.005f)}, {480, 0, StereoFloat(480, 0.5f, 0.5f)}},
       {48000, 48000, pad, 480, 480, videoEnd - start - 960},
       true,
       true},
      {"quiet only",
       nullptr,
       {{480, 0, StereoFloat(480, 0.005f, 0.0f)}},
       {48000, 48000, pad, 480, videoEnd - start - 480},
       false,
       true},
      {"flagged silent: silence of its length, no audio",
       nullptr,
       {{480, AUDCLNT_BUFFERFLAGS_SILENT, {}}},
       {48000, 48000, pad, 480, videoEnd - start - 480},
       false,
       false},
      {"capture unavailable", "IAudioClient::Initialize", {}, {48000, 48000, 47999}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::ResetFaults();
    mf::SetPerformanceCounter(kClockStart);
    if (c.failingCall != nullptr) {
      mf::FailCall(c.failingCall, E_FAIL);
    }
    StartCapturing(mf::MixFormat{}, 90);
    mf::AdvancePerformanceCounter(100000);
    for (const mf::AudioPacket& packet : c.packets) {
      Play(packet);
    }
    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_EQ(hasAudio, c.appendHasAudio);
    EXPECT_EQ(recorder().Stop().hasAudio, c.stopHasAudio);
    EXPECT_EQ(ChunkLengths(), c.chunks);
    EXPECT_EQ(AudioTrack().size(), videoEnd);
  }
}

// The picture's time line is taken from the most punctual frame: a frame whose call came late
// does not pull the sound earlier.
TEST_F(AudioCaptureTest, ALateFrameDoesNotMoveWhereTheSoundBegins) {
  const struct {
    const char* name;
    std::vector<int64_t> lateness;  // of frames 0, 1 and 2 against 30 fps from kClockStart
    int64_t expected;               // where the packet captured 10 ms after frame 2 was due lands
  } cases[] = {
      {"all on time", {0, 0, 0}, Samples(2 * kFrame30 + 100000)},
      {"the latest frame late", {0, 0, 400000}, Samples(2 * kFrame30 + 100000)},
      {"the first frame late", {400000, 0, 0}, Samples(2 * kFrame30 + 100000)},
      {"all late alike", {200000, 200000, 200000}, Samples(2 * kFrame30 + 100000 - 200000)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    ASSERT_TRUE(mf::SetDefaultAudioDevice(mf::MixFormat{}));
    StartRecording(30.0, true);
    for (int frame = 0; frame < 3; ++frame) {
      mf::SetPerformanceCounter(kClockStart + frame * kFrame30 + c.lateness[frame]);
      AppendFrame();
    }
    mf::SetPerformanceCounter(kClockStart + 2 * kFrame30 + 100000);
    Play({480, 0, StereoFloat(480, 0.5f, 0.5f), 0, kClockStart + 2 * kFrame30 + 100000});
    recorder().Stop();
    const std::vector<mf::RecordedSample> audio = AudioSamples();
    ASSERT_GE(audio.size(), 2u);
    EXPECT_EQ(audio[1].time, c.expected * 10000000 / 48000);
  }
}

// Quiet stretches keep their real length: whether the device delivered nothing, flagged its
// packets silent or marked a break, the next sound lands at the time it was captured.
TEST_F(AudioCaptureTest, GapsBecomeSilenceOfTheirLengthToTheSample) {
  const int64_t t0 = kClockStart + 100000;  // the first packet, 10 ms into the third frame
  const int16_t loud = 16384;               // 0.5 as 16-bit
  const std::vector<BYTE> sound = StereoFloat(480, 0.5f, 0.5f);
  const struct {
    const char* name;
    std::vector<mf::AudioPacket> packets;
    std::vector<Stretch>
        sound;  // the stretches after the alignment's silence, relative to the first packet
  } cases[] = {
      {"nothing delivered for 250 ms",
       {{480, 0, sound, 0, t0}, {480, 0, sound, 480 + 12000, t0 + 2600000}},
       {{0, 480, loud}, {480, 12000, 0}, {12480, 480, loud}}},
      {"the device count stretches on, the clock shows the gap",
       {{480, 0, sound, 0, t0}, {480, 0, sound, 480, t0 + 2600000}},
       {{0, 480, loud}, {480, 12000, 0}, {12480, 480, loud}}},
      {"silent packets in between",
       {{480, 0, sound},
        {480, AUDCLNT_BUFFERFLAGS_SILENT, {}},
        {480, AUDCLNT_BUFFERFLAGS_SILENT, {}},
        {480, 0, sound}},
       {{0, 480, loud}, {480, 960, 0}, {1440, 480, loud}}},
      {"a marked break of 5 ms is honoured",
       {{480, 0, sound, 0, t0},
        {480, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY, sound, 720, t0 + 150000}},
       {{0, 480, loud}, {480, 240, 0}, {720, 480, loud}}},
      {"5 ms of jitter in a running stream is not a gap",
       {{480, 0, sound, 0, t0}, {480, 0, sound, 480, t0 + 150000}},
       {{0, 960, loud}}},
      {"a time the device marks as wrong follows on",
       {{480, 0, sound, 0, t0},
        {480, AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR, sound, 480, t0 + 90000000}},
       {{0, 960, loud}}},
      {"a time far in the future follows on",
       {{480, 0, sound, 0, t0}, {480, 0, sound, 5000000, t0 + 900000000000}},
       {{0, 960, loud}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::SetPerformanceCounter(kClockStart);
    StartCapturing();
    mf::SetPerformanceCounter(t0);
    for (const mf::AudioPacket& packet : c.packets) {
      // A time far ahead is played at the counter's own pace, so it stays in the future.
      if (packet.qpc_position && *packet.qpc_position > static_cast<UINT64>(t0 + 100000000)) {
        ASSERT_TRUE(mf::QueuePacket(packet));
        ASSERT_TRUE(mf::WaitUntilPacketsConsumed(kTimeout));
        continue;
      }
      Play(packet);
    }
    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_TRUE(hasAudio);
    const StopResult stopped = recorder().Stop();
    EXPECT_TRUE(stopped.hasAudio);

    const std::vector<int16_t> track = AudioTrack();
    const size_t first = static_cast<size_t>(Samples(2 * kFrame30 + 100000));
    ASSERT_GT(track.size(), first);
    std::vector<Stretch> stretches =
        Stretches(std::vector<int16_t>(track.begin() + first, track.end()));
    ASSERT_FALSE(stretches.empty());
    if (stretches.back().value == 0) {
      stretches.pop_back();  // stop's padding to the video's end, if any
    }
    EXPECT_EQ(stretches, c.sound);
  }
}

// The device's clock against the counter: a small drift is absorbed without a click, a larger
// overlap loses only what overlaps.
TEST_F(AudioCaptureTest, APacketThatOverlapsWhatWasWrittenLosesOnlyTheOverlap) {
  const int64_t t0 = kClockStart + 100000;
  StartCapturing();
  mf::SetPerformanceCounter(t0);
  Play({480, 0, StereoFloat(480, 0.5f, 0.5f), 0, t0});
  // Claims to start 30 ms before the first packet ended: 1440 samples overlap, 480 of its 1920
  // remain.
  Play({1920, AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY, StereoFloat(1920, -0.5f, -0.5f), 480,
        t0 - 200000});
  recorder().Stop();
  const std::vector<int16_t> track = AudioTrack();
  const size_t first = static_cast<size_t>(Samples(2 * kFrame30 + 100000));
  std::vector<Stretch> stretches =
      Stretches(std::vector<int16_t>(track.begin() + first, track.end()));
  ASSERT_GE(stretches.size(), 2u);
  EXPECT_EQ(stretches[0], (Stretch{0, 480, 16384}));
  EXPECT_EQ(stretches[1], (Stretch{480, 480, -16384}));
}

// A long recording from a 44.1 kHz device whose packets do not divide evenly: the track holds
// exactly the resampled length of what was captured, and the sound is where the clock put it.
TEST_F(AudioCaptureTest, LongCaptureAt44100HasTheExactSampleCount) {
  const mf::MixFormat format = Format(WAVE_FORMAT_IEEE_FLOAT, 2, 44100, 32);
  StartCapturing(format);
  const int64_t t0 = kClockStart + 100000;
  constexpr UINT32 kPacket = 448;
  constexpr int kPackets = 6000;  // one minute
  const std::vector<BYTE> sound = StereoFloat(kPacket, 0.25f, 0.25f);
  // Every packet is in the past by the time it is taken, as a device's are.
  mf::SetPerformanceCounter(t0 + kPackets * kPacket * kTicksPerSecond / 44100);
  for (int i = 0; i < kPackets; ++i) {
    const UINT64 position = static_cast<UINT64>(i) * kPacket;
    ASSERT_TRUE(mf::QueuePacket({kPacket, 0, sound, position,
                                 static_cast<UINT64>(t0) + position * kTicksPerSecond / 44100}));
  }
  ASSERT_TRUE(mf::WaitUntilPacketsConsumed(std::chrono::seconds(60)));
  recorder().Stop();
  const std::vector<int16_t> track = AudioTrack();
  const size_t first = static_cast<size_t>(Samples(2 * kFrame30 + 100000));
  std::vector<Stretch> stretches =
      Stretches(std::vector<int16_t>(track.begin() + first, track.end()));
  const int64_t frames = int64_t{kPackets} * kPacket;
  ASSERT_GE(stretches.size(), 1u);
  EXPECT_EQ(stretches[0],
            (Stretch{0, static_cast<size_t>((frames * 48000 + 44099) / 44100), 8192}));
}

// Capture follows the default playback device: a new default device, or the old one going away,
// reopens capture on the device there is now, in its own format, and the time between is silence.
TEST_F(AudioCaptureTest, CaptureMovesToTheNewDefaultDeviceInItsOwnFormat) {
  std::vector<int16_t> pcm16;
  std::vector<int32_t> pcm24in32;
  for (int i = 0; i < 441; ++i) {
    pcm16.insert(pcm16.end(), {8000, 8000});
    pcm24in32.insert(pcm24in32.end(), {-4000 * 65536, -4000 * 65536});
  }
  const struct {
    const char* name;
    bool notify;  // false: the old device is invalidated and the new one set without a word
    mf::MixFormat format;
    mf::AudioPacket packet;
    int16_t value;
  } cases[] = {
      {"new default, 16-bit at 44.1 kHz", true, Format(WAVE_FORMAT_PCM, 2, 44100, 16),
       mf::AudioPacket(441, 0, Interleaved(pcm16)), 8000},
      {"device invalidated, 24 bits in 32", false, Format(WAVE_FORMAT_EXTENSIBLE, 2, 44100, 32, 24),
       mf::AudioPacket(441, 0, Interleaved(pcm24in32)), -4000},
      {"new default, float", true, mf::MixFormat{},
       mf::AudioPacket(441, 0, StereoFloat(441, 0.25f, 0.25f)), 8192},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    mf::ResetMediaFoundation();
    mf::ResetAudio();
    const int64_t t0 = kClockStart + 100000;
    mf::SetPerformanceCounter(kClockStart);
    StartCapturing();
    mf::SetPerformanceCounter(t0);
    Play({480, 0, StereoFloat(480, 0.5f, 0.5f), 0, t0});

    if (c.notify) {
      ASSERT_TRUE(mf::SetDefaultAudioDevice(c.format));
    } else {
      mf::InvalidateDefaultAudioDevice();
      ASSERT_TRUE(WaitFor([] { return mf::CallCount("IMMDevice::Activate") >= 2; }));
      ASSERT_TRUE(mf::SetDefaultAudioDevice(c.format, {}, mf::DeviceChangeNotice::kQuiet));
      // Without a word from the system, the device is looked for again a second later.
      mf::AdvancePerformanceCounter(kTicksPerSecond);
    }
    ASSERT_TRUE(WaitFor([] {
      const mf::AudioCalls calls = mf::RecordedAudioCalls();
      return !calls.initializations.empty() && SUCCEEDED(calls.initializations.back().result) &&
             calls.initializations.size() >= 2;
    }));
    EXPECT_EQ(mf::RecordedAudioCalls().initializations.back().format, mf::MixFormatBytes(c.format));
    // The new device plays one second after the first packet began.
    mf::AudioPacket next = c.packet;
    next.device_position = 0;
    next.qpc_position = t0 + kTicksPerSecond;
    Play(next, c.format.samples_per_second);

    bool hasAudio = false;
    recorder().AppendPng(nullptr, 0, &hasAudio);
    EXPECT_TRUE(hasAudio);
    recorder().Stop();
    const std::vector<int16_t> track = AudioTrack();
    const size_t first = static_cast<size_t>(Samples(2 * kFrame30 + 100000));
    std::vector<Stretch> stretches =
        Stretches(std::vector<int16_t>(track.begin() + first, track.end()));
    ASSERT_GE(stretches.size(), 3u);
    EXPECT_EQ(stretches[0], (Stretch{0, 480, 16384}));
    EXPECT_EQ(stretches[1], (Stretch{480, 48000 - 480, 0}));
    EXPECT_EQ(stretches[2].start, 48000u);
    EXPECT_EQ(stretches[2].value, c.value);
    EXPECT_EQ(stretches[2].length, 441u * 48000 / c.format.samples_per_second);
  }
}

// With no device at all, capture looks again once a second until the recording stops; silence
// alone never reports audio.
TEST_F(AudioCaptureTest, WithoutADeviceCaptureLooksAgainEverySecond) {
  StartCapturing();
  mf::SetPerformanceCounter(kClockStart + 100000);
  Play({480, AUDCLNT_BUFFERFLAGS_SILENT, {}});
  mf::RemoveDefaultAudioDevice();
  // The first device was found at once; after it went, both roles are asked in vain.
  ASSERT_TRUE(
      WaitFor([] { return mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint") >= 3; }));
  const int requests = mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint"), requests);
  for (int second = 1; second <= 3; ++second) {
    mf::AdvancePerformanceCounter(kTicksPerSecond);
    // Both roles are asked each time.
    ASSERT_TRUE(WaitFor([&] {
      return mf::CallCount("IMMDeviceEnumerator::GetDefaultAudioEndpoint") >= requests + 2 * second;
    }));
  }
  const StopResult stopped = recorder().Stop();
  EXPECT_FALSE(stopped.hasAudio);
  EXPECT_FALSE(peer().State().hasAudioThread);
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
  EXPECT_GE(static_cast<int64_t>(AudioTrack().size()), Samples(63 * kFrame30));
}

TEST_F(AudioCaptureTest, StopWhileAPacketIsInFlightIsConsistent) {
  StartCapturing();
  std::unique_ptr<MutexLock> lock = peer().Lock();
  ASSERT_TRUE(mf::QueuePacket(480, 0, StereoFloat(480, 0.5f, 0.5f)));
  // The capture thread holds the packet and waits for the lock to write it.
  ASSERT_TRUE(WaitFor([] { return mf::PendingPackets() == 0; }));
  StopResult stopped;
  std::thread stopper([&] { stopped = recorder().Stop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  lock.reset();
  stopper.join();

  // Whichever took the lock first, the reply agrees with the file and nothing follows the stop.
  const std::vector<size_t> chunks = ChunkLengths();
  const size_t start = static_cast<size_t>(Samples(2 * kFrame30));
  const size_t videoEnd = static_cast<size_t>(Samples(3 * kFrame30));
  if (stopped.hasAudio) {
    // The capture thread wrote first; stop padded the rest.
    EXPECT_EQ(chunks, (std::vector<size_t>{start, 480, videoEnd - start - 480}));
  } else {
    EXPECT_EQ(chunks, std::vector<size_t>{videoEnd});  // the chunk was dropped; stop padded
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
