#include "tests/reliability/fault_sweep_scenario.h"

#include <mfapi.h>
#include <objbase.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "recorder/desktop_recorder.h"
#include "recorder/recorder_call_queue.h"
#include "tests/media/scratch_folder.h"
#include "tests/recorder/queued_calls.h"
#include "tests/recorder/recorder_test_support.h"
#include "windows_testing/clock.h"
#include "windows_testing/com.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"

namespace halvex::fault_sweep {
namespace {

namespace standin = halvex::testing;
using flutter::EncodableMap;
using flutter::EncodableValue;
using testing_support::Answer;
using testing_support::CallRecorder;

constexpr std::chrono::seconds kCaptureTimeout(10);
constexpr int64_t kClockStart = 100 * 10000000LL;
constexpr int16_t kSilenceBand = 180;
constexpr const char* kAudioObjects[] = {"IMMDeviceEnumerator", "IMMDevice", "IAudioClient",
                                         "IAudioCaptureClient"};

std::vector<standin::AudioPacket> ScriptedPackets() {
  std::vector<standin::AudioPacket> packets;
  for (const ScriptedPacket& scripted : kPackets) {
    standin::AudioPacket packet;
    packet.frames = kPacketFrames;
    if (scripted.flaggedSilent) {
      packet.flags = AUDCLNT_BUFFERFLAGS_SILENT;
    } else {
      std::vector<float> samples;
      for (UINT32 frame = 0; frame < kPacketFrames; ++frame) {
        samples.push_back(scripted.left);
        samples.push_back(scripted.right);
      }
      packet.data.resize(samples.size() * sizeof(float));
      std::memcpy(packet.data.data(), samples.data(), packet.data.size());
    }
    packets.push_back(std::move(packet));
  }
  return packets;
}

std::vector<std::vector<BYTE>> ScriptedFrames() {
  std::vector<std::vector<BYTE>> frames;
  for (int call = 1; call <= kFrameCalls; ++call) {
    const std::array<uint8_t, 3> colour = FrameColour(call);
    frames.push_back(testing_support::ScriptedPng(
        static_cast<UINT>(call), kFrameWidth, kFrameHeight,
        testing_support::SolidBgra(kFrameWidth, kFrameHeight,
                                   {colour[0], colour[1], colour[2], 0xFF})));
  }
  return frames;
}

bool AudioObjectsAlive() {
  for (const char* name : kAudioObjects) {
    if (standin::LiveObjects(name) != 0) {
      return true;
    }
  }
  return false;
}

// Capture starts only for a writer that has an audio stream.
bool WriterHasAudioStream() {
  for (const standin::RecordedSinkWriter& writer : standin::SinkWriters()) {
    if (writer.alive && writer.writing_begun && writer.streams.size() > 1 &&
        IsAudioStream(writer, 1)) {
      return true;
    }
  }
  return false;
}

bool WaitForCapture(const CaptureSettle& settle, const InjectedFault& fault) {
  if (!WriterHasAudioStream()) {
    return true;
  }
  switch (settle.kind) {
    case CaptureSettle::Kind::kNothing:
      return true;
    case CaptureSettle::Kind::kReleases:
      return testing_support::WaitFor(
          [&] {
            // The drain polls once more after each packet it releases; waiting for that poll
            // leaves the capture idle or stalled, never in the middle of a packet.
            return static_cast<int>(standin::RecordedAudioCalls().releases.size()) >=
                       settle.releases &&
                   standin::CallCount("IAudioCaptureClient::GetNextPacketSize") >=
                       settle.releases + 1;
          },
          kCaptureTimeout);
    case CaptureSettle::Kind::kEndsWithoutPackets:
      return testing_support::WaitFor(
          [&] {
            return standin::CallCount(fault.call) >= fault.occurrence && !AudioObjectsAlive();
          },
          kCaptureTimeout);
  }
  return false;
}

// The capture thread has polled for its first packet, or has met the injected fault and ended.
bool WaitForFirstPoll(const InjectedFault& fault) {
  return testing_support::WaitFor(
      [&] {
        if (standin::CallCount("IAudioCaptureClient::GetNextPacketSize") >= 1) {
          return true;
        }
        return !fault.call.empty() && standin::CallCount(fault.call) >= fault.occurrence &&
               !AudioObjectsAlive();
      },
      kCaptureTimeout);
}

struct WrittenSoFar {
  int videoSamples = 0;
  int audioSamples = 0;
  bool audibleAudio = false;
};

WrittenSoFar CountWritten() {
  WrittenSoFar written;
  for (const standin::RecordedSinkWriter& writer : standin::SinkWriters()) {
    const int video = VideoStreamIndex(writer);
    for (const standin::RecordedSample& sample : writer.samples) {
      if (static_cast<int>(sample.stream_index) == video) {
        ++written.videoSamples;
      } else if (IsAudioStream(writer, sample.stream_index)) {
        ++written.audioSamples;
        written.audibleAudio = written.audibleAudio || HoldsAudibleSample(sample);
      }
    }
  }
  return written;
}

EncodableValue StartArguments(const RunOptions& options) {
  return EncodableValue(EncodableMap{
      {EncodableValue("path"), EncodableValue(options.path)},
      {EncodableValue("fps"), EncodableValue(kFramesPerSecond)},
      {EncodableValue("enableAudio"), EncodableValue(true)},
  });
}

EncodableValue FrameArguments(const std::vector<BYTE>& png) {
  return EncodableValue(EncodableMap{{EncodableValue("bytes"), EncodableValue(png)}});
}

// "start" and every frame in flight at once on a queue of the recorder's own, then "stop"; the
// queue's threads are ended before the run's objects are counted.
void SendAllInFlight(const RunOptions& options,
                     const std::vector<std::vector<BYTE>>& frames,
                     RecordingRun* run) {
  RecorderCallQueue queue(&DesktopRecorder::Instance(), RecorderCallQueue::LimitsForThisMachine());
  testing_support::QueuedCalls calls(&queue);
  calls.Send("start", StartArguments(options));
  for (const std::vector<BYTE>& png : frames) {
    calls.Send("appendPng", FrameArguments(png));
  }
  auto take = [&calls] {
    std::optional<testing_support::QueuedCalls::Taken> taken = calls.TakeOldest();
    return taken ? taken->answer : Answer();
  };
  run->start = take();
  for (size_t i = 0; i < frames.size(); ++i) {
    FrameReply reply;
    reply.answer = take();
    reply.videoSamplesSoFar = -1;  // not known: later calls may have run meanwhile
    run->frames.push_back(std::move(reply));
  }
  // "stop" waits for the capture thread's first poll (or its end), or how far capture got would
  // depend on how fast the frames ran.
  if (WriterHasAudioStream()) {
    run->captureSettled = WaitForFirstPoll(options.fault);
  }
  calls.Send("stop", EncodableValue());
  run->stop = take();
}

// The engine's platform thread: in a single-threaded apartment of its own before the recorder
// sees it, as the entry point leaves it.
void RunOnPlatformThread(const RunOptions& options,
                         const std::vector<std::vector<BYTE>>& frames,
                         RecordingRun* run) {
  const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  standin::ResetFaults();
  if (!options.fault.call.empty()) {
    standin::FailCall(options.fault.call, options.fault.result, options.fault.occurrence);
  }

  if (options.inFlight) {
    SendAllInFlight(options, frames, run);
    run->platformApartmentInits = standin::CurrentApartmentInitCount();
    if (SUCCEEDED(apartment)) {
      CoUninitialize();
    }
    return;
  }
  run->start = CallRecorder("start", StartArguments(options));
  bool captureAwaited = false;
  for (const std::vector<BYTE>& png : frames) {
    FrameReply reply;
    reply.answer = CallRecorder("appendPng", FrameArguments(png));
    const WrittenSoFar written = CountWritten();
    reply.videoSamplesSoFar = written.videoSamples;
    reply.audibleAudioSoFar = written.audibleAudio;
    run->frames.push_back(std::move(reply));
    if (!captureAwaited && FramesIn(run->frames.back().answer) >= kFramesBeforeAudio) {
      captureAwaited = true;
      run->captureSettled = WaitForCapture(options.settle, options.fault);
    }
  }
  run->audioSamplesBeforeStop = CountWritten().audioSamples;
  run->stop = CallRecorder("stop", EncodableValue());

  run->platformApartmentInits = standin::CurrentApartmentInitCount();
  if (SUCCEEDED(apartment)) {
    CoUninitialize();
  }
}

}  // namespace

int FramesIn(const Answer& answer) {
  const auto* map = std::get_if<EncodableMap>(&answer.value);
  if (answer.kind != Answer::Kind::kSuccess || map == nullptr) {
    return -1;
  }
  const EncodableValue* frames = flutter::LookupTextKey(*map, "frames");
  const auto* count = frames == nullptr ? nullptr : std::get_if<int32_t>(frames);
  return count == nullptr ? -1 : *count;
}

std::array<uint8_t, 3> FrameColour(int call) {
  return {static_cast<uint8_t>(200 - 25 * call), static_cast<uint8_t>(30 * call),
          static_cast<uint8_t>(90 + 20 * call)};
}

RecordingRun RunRecording(const RunOptions& options) {
  RecordingRun run;
  run.path = options.path;
  standin::ResetMediaFoundation();
  if (options.realFiles) {
    standin::WriteMediaFiles();
  }
  standin::KeepSampleBytes(true);
  standin::ResetImaging();
  standin::ResetAudio();
  standin::ResetComModel();
  // A stopped clock: the frames and the first packet all come at one moment, so where the sound
  // lands does not depend on how fast the machine runs the recording.
  standin::SetPerformanceCounter(kClockStart);
  const std::vector<std::vector<BYTE>> frames = ScriptedFrames();
  EXPECT_TRUE(standin::SetDefaultAudioDevice(standin::MixFormat{}, ScriptedPackets()));
  run.liveObjectsBefore = standin::LiveObjectCounts();
  run.taskMemoryBefore = standin::LiveTaskMemAllocations();

  std::thread platform([&] { RunOnPlatformThread(options, frames, &run); });
  platform.join();

  run.writers = standin::SinkWriters();
  run.audioCalls = standin::RecordedAudioCalls();
  run.calls = standin::CallCounts();
  run.faultReached = !options.fault.call.empty() &&
                     standin::CallCount(options.fault.call) >= options.fault.occurrence;
  run.liveObjectsAfter = standin::LiveObjectCounts();
  run.taskMemoryAfter = standin::LiveTaskMemAllocations();
  run.overReleases = standin::OverReleases();
  run.callsOnReleasedObjects = standin::CallsOnReleasedObjects();
  run.fileExists = media_testing::FileExists(options.path);

  standin::ResetFaults();
  standin::ResetAudio();
  standin::ResetImaging();
  standin::ResetMediaFoundation();
  standin::UsePerformanceCounterOfTheSystem();
  return run;
}

int VideoStreamIndex(const standin::RecordedSinkWriter& writer) {
  for (size_t i = 0; i < writer.streams.size(); ++i) {
    const std::optional<GUID> major =
        standin::FindGUID(writer.streams[i].output_type, MF_MT_MAJOR_TYPE);
    if (major && IsEqualGUID(*major, MFMediaType_Video)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool IsAudioStream(const standin::RecordedSinkWriter& writer, DWORD stream) {
  if (stream >= writer.streams.size()) {
    return false;
  }
  const std::optional<GUID> major =
      standin::FindGUID(writer.streams[stream].output_type, MF_MT_MAJOR_TYPE);
  return major && IsEqualGUID(*major, MFMediaType_Audio);
}

bool HoldsAudibleSample(const standin::RecordedSample& sample) {
  for (size_t i = 0; i + 1 < sample.bytes.size(); i += 2) {
    int16_t value = 0;
    std::memcpy(&value, &sample.bytes[i], sizeof(value));
    if (value > kSilenceBand || value < -kSilenceBand) {
      return true;
    }
  }
  return false;
}

}  // namespace halvex::fault_sweep
