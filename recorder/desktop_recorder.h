// The process's one desktop recorder: PNG frames in, an H.264 (and optionally AAC) file out.
#ifndef HALVEX_RECORDER_DESKTOP_RECORDER_H_
#define HALVEX_RECORDER_DESKTOP_RECORDER_H_

#include <windows.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "recorder/com_ptr.h"
#include "recorder/mutex.h"
#include "recorder/thread_annotations.h"

namespace halvex {

struct CapturedPacket;
struct CaptureSession;
struct DecodedFrame;

struct StopResult {
  int32_t frames = 0;
  bool hasAudio = false;
};

// A recording is lazy: Start only records its parameters, the first frame that decodes creates the
// file, and system-audio capture starts once three frames have been written. One mutex guards the
// whole record and every call on the media writer; only audioStopFlag is read without it.
class DesktopRecorder {
 public:
  // The single recorder, created on first use and stopped (its file finalised) at process exit.
  static DesktopRecorder& Instance();

  ~DesktopRecorder();
  DesktopRecorder(const DesktopRecorder&) = delete;
  DesktopRecorder& operator=(const DesktopRecorder&) = delete;

  // Ends any running recording as Stop does (its file is completed) and arms a new one. The rate is
  // limited to 1..30 frames per second; a rate that is not a number counts as 8. videoTrackId and
  // peerConnectionId are accepted and not used. Returns false, leaving the recorder idle, only
  // when Media Foundation cannot be started.
  bool Start(const std::string& path,
             double framesPerSecond,
             const std::string& videoTrackId,
             const std::string& peerConnectionId,
             bool enableAudio,
             bool* hasAudioTrack = nullptr) EXCLUDES(mutex);

  // Ends the recording: waits for the audio thread, pads the audio track with silence to the
  // video's end, finalises the file and makes it a plain MP4; a file is never deleted. The result
  // is taken before the padding and repeats on a second call; "hasAudio" says that sound from the
  // device was written, whether audible or not.
  StopResult Stop() EXCLUDES(mutex);

  // Adds one PNG frame to the running recording. A frame that cannot be used is dropped; the
  // returned count (frames written so far) tells the caller whether it was taken. The frame shows
  // the moment of the call.
  int32_t AppendPng(const uint8_t* data, uint64_t length, bool* hasAudio = nullptr) EXCLUDES(mutex);

  // As AppendPng, for a call that came at `arrivalTime` on the capture clock.
  int32_t AppendPngArrivedAt(const uint8_t* data,
                             uint64_t length,
                             int64_t arrivalTime,
                             bool* hasAudio = nullptr) EXCLUDES(mutex);

  // As AppendPngArrivedAt, for a frame decoded beforehand (frame_decoding.h). An unusable frame is
  // dropped; the pixels stay the caller's.
  int32_t AppendDecodedFrame(const DecodedFrame& frame,
                             int64_t arrivalTime,
                             bool* hasAudio = nullptr) EXCLUDES(mutex);

  // Whether a recording runs: started and not stopped since.
  bool IsRecording() EXCLUDES(mutex);

  // Makes sure COM is initialised on the calling thread, trying again on the next call when it
  // failed. A thread that already has an apartment keeps it.
  static void EnsureComInitialized();

 private:
  friend class DesktopRecorderTestPeer;

  DesktopRecorder();

  // Each of these is called with `mutex` held.
  bool OpenSinkWriter(int32_t width, int32_t height, bool withAudio) REQUIRES(mutex);
  bool WriteVideoFrame(const uint8_t* pixels, int32_t rowBytes, int32_t width, int32_t height)
      REQUIRES(mutex);
  // Opens the writer for the first frame, writes the frame and starts the audio capture once
  // enough frames are written.
  void WriteDecodedFrame(const DecodedFrame& frame, int64_t arrivalTime) REQUIRES(mutex);
  bool WriteAudioSamples(const int16_t* samples, int64_t count, bool audible) REQUIRES(mutex);
  void PadAudioToVideo() REQUIRES(mutex);
  // Silence from the end of the audio written so far up to `position` (48 kHz samples).
  void PadAudioTo(int64_t position) REQUIRES(mutex);
  // Where sound captured at `time` (capture clock) belongs on the audio time line: as long after
  // the start of the video's time line as it was captured after videoStartTime.
  int64_t AudioPositionOfVideoAt(int64_t time) const REQUIRES(mutex);
  void StartAudioCapture() REQUIRES(mutex);
  // Pads the audio to the video's end, finalises and releases the writer, and turns the file
  // into a plain one in place.
  void CompleteRecordingFile() REQUIRES(mutex);
  void ReleaseSinkWriter() REQUIRES(mutex);

  // The audio thread's body and its per-packet step (which takes the lock itself).
  void AudioCaptureLoop() EXCLUDES(mutex);
  void ProcessAudioPacket(const CapturedPacket& packet, CaptureSession* session) EXCLUDES(mutex);

  Mutex mutex;
  std::unique_ptr<std::thread> audioThread GUARDED_BY(mutex);
  bool recordingActive GUARDED_BY(mutex) = false;
  bool audioEnabled GUARDED_BY(mutex) = false;
  bool audibleAudioWritten GUARDED_BY(mutex) = false;
  // Sound from the device (audible or quiet) has been written; silence the recorder wrote for a
  // gap, a silent packet or the alignment with the video does not count.
  bool capturedAudioWritten GUARDED_BY(mutex) = false;
  double fps GUARDED_BY(mutex) = 8.0;
  int32_t framesWritten GUARDED_BY(mutex) = 0;
  int32_t audioChunksWritten GUARDED_BY(mutex) = 0;
  int32_t videoWidth GUARDED_BY(mutex) = 0;
  int32_t videoHeight GUARDED_BY(mutex) = 0;
  uint32_t rowPitch GUARDED_BY(mutex) = 0;
  int64_t videoFrameIndex GUARDED_BY(mutex) = 0;
  int64_t frameDuration GUARDED_BY(mutex) = 0;
  // Capture-clock time (100-ns ticks) at which the video's time line began, as the most punctual
  // frame so far tells it: its call's arrival less its place on the time line. A frame can come
  // late, never early, so the earliest such start is the truest.
  int64_t videoStartTime GUARDED_BY(mutex) = 0;
  int64_t audioPosition GUARDED_BY(mutex) = 0;
  std::wstring outputPath GUARDED_BY(mutex);
  ComPtr<IMFSinkWriter> sinkWriter GUARDED_BY(mutex);
  DWORD videoStreamIndex GUARDED_BY(mutex) = 0;
  DWORD audioStreamIndex GUARDED_BY(mutex) = 0;
  bool audioStreamPresent GUARDED_BY(mutex) = false;
  bool writingBegun GUARDED_BY(mutex) = false;
  bool mediaFoundationStarted GUARDED_BY(mutex) = false;
  bool audioThreadStarted GUARDED_BY(mutex) = false;
  std::atomic<bool> audioStopFlag{true};
  // The last frame's decoded pixels, kept for the next frame to decode into (frame_ingestion.cc).
  std::unique_ptr<uint8_t[]> spareFramePixels GUARDED_BY(mutex);
  size_t spareFrameBytes GUARDED_BY(mutex) = 0;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_DESKTOP_RECORDER_H_
