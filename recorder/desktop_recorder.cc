#include "recorder/desktop_recorder.h"

#include <mfapi.h>
#include <objbase.h>

#include <algorithm>
#include <cmath>

#include "recorder/recording_file.h"

namespace halvex {
namespace {

constexpr double kDefaultFramesPerSecond = 8.0;
constexpr double kMinFramesPerSecond = 1.0;
constexpr double kMaxFramesPerSecond = 30.0;
constexpr double kTicksPerSecond = 10000000.0;

// UTF-8 up to the first zero byte, as UTF-16 with Windows separators. Invalid UTF-8 is replaced,
// not rejected; a path that converts to nothing stays empty and fails when the file is opened.
std::wstring ConvertRecordingPath(const std::string& path) {
  if (path.empty()) {
    return std::wstring();
  }
  const int needed = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (needed <= 0) {
    return std::wstring();
  }
  std::wstring converted(static_cast<size_t>(needed), L'\0');
  const int written = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &converted[0], needed);
  if (written <= 0) {
    return std::wstring();
  }
  converted.resize(static_cast<size_t>(written - 1));
  std::replace(converted.begin(), converted.end(), L'/', L'\\');
  return converted;
}

double LimitFrameRate(double fps) {
  // Turning NaN into a frame duration would be undefined; it counts as the channel's default.
  if (std::isnan(fps)) {
    return kDefaultFramesPerSecond;
  }
  if (fps < kMinFramesPerSecond) {
    return kMinFramesPerSecond;
  }
  if (fps > kMaxFramesPerSecond) {
    return kMaxFramesPerSecond;
  }
  return fps;
}

void JoinIfRunning(std::thread* thread) {
  if (thread != nullptr && thread->joinable()) {
    thread->join();
  }
}

}  // namespace

DesktopRecorder& DesktopRecorder::Instance() {
  static DesktopRecorder recorder;
  return recorder;
}

DesktopRecorder::DesktopRecorder() = default;

DesktopRecorder::~DesktopRecorder() {
  Stop();
}

void DesktopRecorder::EnsureComInitialized() {
  thread_local bool comInitialized = false;
  if (comInitialized) {
    return;
  }
  const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(result) || result == RPC_E_CHANGED_MODE) {
    comInitialized = true;
  }
}

bool DesktopRecorder::Start(const std::string& path,
                            double framesPerSecond,
                            const std::string& /*videoTrackId*/,
                            const std::string& /*peerConnectionId*/,
                            bool enableAudio,
                            bool* hasAudioTrack) {
  EnsureComInitialized();

  std::unique_ptr<std::thread> detachedThread;
  {
    MutexLock lock(&mutex);
    if (recordingActive) {
      detachedThread = std::move(audioThread);
      recordingActive = false;
      audioEnabled = false;
      audioStopFlag = true;
    }
  }
  // The running recording ends as "stop" ends it: capture first, then its file, completed.
  JoinIfRunning(detachedThread.get());

  MutexLock lock(&mutex);
  if (sinkWriter) {
    CompleteRecordingFile();
  }
  if (!mediaFoundationStarted) {
    if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
      return false;
    }
    mediaFoundationStarted = true;
  }
  ReleaseSinkWriter();
  outputPath = ConvertRecordingPath(path);

  fps = LimitFrameRate(framesPerSecond);
  frameDuration = static_cast<int64_t>(kTicksPerSecond / fps);

  videoFrameIndex = 0;
  audioPosition = 0;
  framesWritten = 0;
  audioChunksWritten = 0;
  videoWidth = 0;
  videoHeight = 0;
  rowPitch = 0;
  videoStartTime = 0;
  audioEnabled = enableAudio;
  audibleAudioWritten = false;
  capturedAudioWritten = false;
  recordingActive = true;
  writingBegun = false;
  audioThreadStarted = false;
  audioStopFlag = true;

  if (hasAudioTrack != nullptr) {
    *hasAudioTrack = audioEnabled;
  }
  return true;
}

StopResult DesktopRecorder::Stop() {
  EnsureComInitialized();
  StopResult result;

  std::unique_ptr<std::thread> detachedThread;
  {
    MutexLock lock(&mutex);
    result.frames = framesWritten;
    // Silence the recorder wrote itself (gaps, silent packets) tells nothing of the device.
    result.hasAudio = audibleAudioWritten || capturedAudioWritten;
    detachedThread = std::move(audioThread);
    audioEnabled = false;
    audioStopFlag = true;
  }
  // Without the lock: the audio thread needs it to finish the packet it may be holding.
  JoinIfRunning(detachedThread.get());

  MutexLock lock(&mutex);
  if (sinkWriter) {
    CompleteRecordingFile();
  }
  recordingActive = false;
  audioThreadStarted = false;
  // The decoded pixels kept for the next frame are of no use until the next recording.
  spareFramePixels.reset();
  spareFrameBytes = 0;
  return result;
}

// The counts reported do not depend on the outcome. Whatever fails, the file stays where it is:
// written as fragments, it plays up to its last whole fragment, and halvex-finish-recording can
// complete it later.
void DesktopRecorder::CompleteRecordingFile() {
  // An audio track as long as the video, on every path that ends a recording.
  PadAudioToVideo();
  sinkWriter->Finalize();
  ReleaseSinkWriter();
  FinishRecordingFile(outputPath);
}

void DesktopRecorder::ReleaseSinkWriter() {
  sinkWriter.Reset();
  audioStreamPresent = false;
  writingBegun = false;
  videoStreamIndex = 0;
  audioStreamIndex = 0;
  rowPitch = 0;
}

}  // namespace halvex
