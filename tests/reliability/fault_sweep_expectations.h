// What the reference recording must become when one call fails: the documented fallback, drop or
// retry, as a description of the replies, the writers, the samples and the capture.
#ifndef HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_EXPECTATIONS_H_
#define HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_EXPECTATIONS_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/reliability/fault_sweep_scenario.h"

namespace halvex::fault_sweep {

// An attribute the recorder sets whose setter failed; the media writer may still accept the type
// without it (which attributes it needs is the writer's business).
struct MissingAttribute {
  enum class Where {
    kWriterStore,
    kVideoOutput,
    kVideoInput,
    kVideoEncoding,
    kAudioOutput,
    kAudioInput
  };
  Where where;
  GUID key;
};

struct ExpectedRecording {
  std::string outcome;  // names the documented outcome in failure messages
  bool startRefused = false;
  bool writerOpens = true;   // false: no writer can ever be made, every frame is dropped
  int droppedFrameCall = 0;  // appendPng call (1-based) whose frame is dropped; 0: none
  int discardedWriters = 0;  // writers made and given up, unfinished, before the one used
  bool audioStream = true;   // the writer used has an audio stream
  bool writerAttributeStore = true;
  bool videoEncodingParameters = true;  // the video input type came with its encoder settings
  bool fragmented = true;               // the writer was asked for the fragmented container
  std::optional<MissingAttribute> missingAttribute;
  // Capture: packets of kPackets taken from the device (silent-flagged ones are taken and not
  // written), and the WriteAudioSamples call (1-based, padding included) that fails.
  int packetsTaken = static_cast<int>(kPackets.size());
  int failingAudioWrite = 0;
  HRESULT finalizeResult = S_OK;
  // How "stop" leaves the file: completed into a plain MP4, or still as fragments (which play too)
  // because finishing it failed; either, where the failure leaves that open.
  enum class Layout { kPlain, kFragmented, kEither };
  Layout layout = Layout::kPlain;
};

ExpectedRecording FullRecording();

// The platform thread's wait once capture has started, for a recording expected to look so.
CaptureSettle SettleFor(const ExpectedRecording& expected);

// The model of the documented time lines, from the expected recording.
struct ExpectedVideoSample {
  int call;  // the appendPng call whose frame it is
  int64_t time;
};
struct ExpectedAudioChunk {
  int packet;  // index into kPackets; -1 for silence
  int64_t position;
  int64_t length;
  bool atStop;  // the padding of "stop", written after its reply was formed
};

// appendPng calls whose frames are written, in order.
std::vector<int> WrittenFrameCalls(const ExpectedRecording& expected);
std::vector<ExpectedVideoSample> ExpectedVideo(const ExpectedRecording& expected);
std::vector<ExpectedAudioChunk> ExpectedAudio(const ExpectedRecording& expected);

// One sample written in the reference recording, in the order they are made: the sample steps'
// nth occurrence belongs to the nth of these.
struct SampleWrite {
  bool video;
  int index;  // video: the appendPng call; audio: the WriteAudioSamples call (1-based)
};
std::vector<SampleWrite> ReferenceSampleWrites();

// The mono 16-bit value a packet of kPackets is written as.
int16_t PacketValue(const ScriptedPacket& packet);

}  // namespace halvex::fault_sweep

#endif  // HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_EXPECTATIONS_H_
