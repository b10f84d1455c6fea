// The recording every failure point of the sweep is injected into: "start" with audio, six
// "appendPng" frames with a scripted playback device whose packets are captured once three frames
// are written, then "stop", all through the recorder channel on a thread that stands for the
// engine's platform thread. What the run leaves behind is collected for the checks.
#ifndef HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_SCENARIO_H_
#define HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_SCENARIO_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/recorder/channel_test_support.h"
#include "windows_testing/audio.h"
#include "windows_testing/media_foundation.h"

namespace halvex::fault_sweep {

inline constexpr int kFrameCalls = 6;
// The capture thread starts with the call after which this many frames are written.
inline constexpr int kFramesBeforeAudio = 3;
inline constexpr UINT kFrameWidth = 64;
inline constexpr UINT kFrameHeight = 48;
inline constexpr double kFramesPerSecond = 30.0;
inline constexpr int64_t kFrameDuration = 333333;  // 10^7 / 30, truncated
inline constexpr UINT32 kPacketFrames = 480;       // 10 ms at the device's 48 kHz

// The device's packets, in delivery order: stereo float frames all holding the same two samples.
struct ScriptedPacket {
  float left;
  float right;
  bool flaggedSilent;  // AUDCLNT_BUFFERFLAGS_SILENT: written as silence of its length
};
inline constexpr std::array<ScriptedPacket, 4> kPackets = {{
    {0.5f, 0.25f, false},
    {-0.75f, -0.25f, false},
    {0.0f, 0.0f, true},
    {0.125f, 0.125f, false},
}};

// The solid colour of the frame sent by appendPng call `call` (1-based), as blue, green, red.
std::array<uint8_t, 3> FrameColour(int call);

// What the platform thread waits for once the capture thread has been started (only when the
// writer has an audio stream), so that the later frames never race it: which of them comes first
// would otherwise decide the run's outcome.
struct CaptureSettle {
  enum class Kind {
    kNothing,            // no capture thread is expected
    kReleases,           // `releases` ReleaseBuffer calls made, failed ones included, and the
                         // poll that follows the last of them
    kEndsWithoutPackets  // the injected call has failed and no audio object is left
  };
  Kind kind = Kind::kNothing;
  int releases = 0;
};

struct InjectedFault {
  std::string call;  // empty: no fault
  HRESULT result = E_FAIL;
  int occurrence = 0;
};

struct FrameReply {
  testing_support::Answer answer;
  int videoSamplesSoFar = 0;       // in every writer of the run, when the answer came
  bool audibleAudioSoFar = false;  // an audio sample holding an audible value was written
};

struct RecordingRun {
  testing_support::Answer start;
  std::vector<FrameReply> frames;
  testing_support::Answer stop;
  int audioSamplesBeforeStop = 0;
  bool captureSettled = true;  // the settle point was reached in time (or none was needed)

  std::vector<halvex::testing::RecordedSinkWriter> writers;
  halvex::testing::AudioCalls audioCalls;
  std::map<std::string, int> calls;  // every stand-in call made during the run
  bool faultReached = false;

  std::map<std::string, int> liveObjectsBefore;
  std::map<std::string, int> liveObjectsAfter;
  int taskMemoryBefore = 0;
  int taskMemoryAfter = 0;
  int overReleases = 0;
  int callsOnReleasedObjects = 0;
  int platformApartmentInits = 0;  // the platform thread's own STA initialisation, still held

  std::string path;
  bool fileExists = false;
};

struct RunOptions {
  InjectedFault fault;
  CaptureSettle settle;
  bool realFiles = false;  // the writer encodes a real MP4 file at `path`
  std::string path;
  // "start" and every frame are sent through the recorder's call queue before any answer is
  // read, as an application with calls in flight sends them; "stop" follows once capture has
  // polled for its first packet. The settle point does not apply.
  bool inFlight = false;
};

RecordingRun RunRecording(const RunOptions& options);

// The "frames" of a successful frame report; -1 for any other answer.
int FramesIn(const testing_support::Answer& answer);

// Which stream of `writer` carries video; -1 if none.
int VideoStreamIndex(const halvex::testing::RecordedSinkWriter& writer);
bool IsAudioStream(const halvex::testing::RecordedSinkWriter& writer, DWORD stream);
// Whether an audio sample holds a value outside the silence band of ±180.
bool HoldsAudibleSample(const halvex::testing::RecordedSample& sample);

}  // namespace halvex::fault_sweep

#endif  // HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_SCENARIO_H_
