#include <exception>
#include <memory>
#include <utility>

#include "recorder/capture_clock.h"
#include "recorder/desktop_recorder.h"
#include "recorder/frame_decoding.h"

namespace halvex {
namespace {

constexpr int32_t kAudioStartFrames = 3;

}  // namespace

int32_t DesktopRecorder::AppendPng(const uint8_t* data, uint64_t length, bool* hasAudio) {
  EnsureComInitialized();
  // The frame shows the moment its call came (or later, if the call was late).
  return AppendPngArrivedAt(data, length, CaptureClockNow(), hasAudio);
}

int32_t DesktopRecorder::AppendPngArrivedAt(const uint8_t* data,
                                            uint64_t length,
                                            int64_t arrivalTime,
                                            bool* hasAudio) {
  EnsureComInitialized();
  DecodedFrame frame;
  MutexLock lock(&mutex);
  if (recordingActive) {
    // The pixel memory goes with the call while the lock is free, so a call on another thread
    // never shares it.
    frame.pixels = std::move(spareFramePixels);
    frame.capacity = spareFrameBytes;
    spareFrameBytes = 0;
    lock.Unlock();
    DecodePngFrame(data, length, &frame);
    lock.Lock();
    // The recording may have been stopped or restarted while the lock was free.
    if (recordingActive) {
      WriteDecodedFrame(frame, arrivalTime);
    }
  }
  if (hasAudio != nullptr) {
    *hasAudio = audibleAudioWritten;
  }
  // Only a running recording keeps them: "stop" frees them, and a call that overlapped it must
  // not bring them back.
  if (recordingActive && frame.pixels && !spareFramePixels &&
      frame.capacity <= kMaxKeptPixelBytes) {
    spareFramePixels = std::move(frame.pixels);
    spareFrameBytes = frame.capacity;
  }
  return framesWritten;
}

int32_t DesktopRecorder::AppendDecodedFrame(const DecodedFrame& frame,
                                            int64_t arrivalTime,
                                            bool* hasAudio) {
  EnsureComInitialized();
  MutexLock lock(&mutex);
  if (recordingActive) {
    WriteDecodedFrame(frame, arrivalTime);
  }
  if (hasAudio != nullptr) {
    *hasAudio = audibleAudioWritten;
  }
  return framesWritten;
}

bool DesktopRecorder::IsRecording() {
  MutexLock lock(&mutex);
  return recordingActive;
}

void DesktopRecorder::WriteDecodedFrame(const DecodedFrame& frame, int64_t arrivalTime) {
  if (!frame.usable()) {
    return;
  }
  if (!sinkWriter) {
    const bool opened = (audioEnabled && OpenSinkWriter(frame.width, frame.height, true)) ||
                        OpenSinkWriter(frame.width, frame.height, false);
    if (!opened) {
      return;
    }
  }
  if (WriteVideoFrame(frame.pixels.get(), 4 * frame.width, frame.width, frame.height)) {
    const int64_t start = arrivalTime - (videoFrameIndex - 1) * frameDuration;
    if (videoFrameIndex == 1 || start < videoStartTime) {
      videoStartTime = start;
    }
  }
  if (audioEnabled && !audioThreadStarted && audioStreamPresent &&
      framesWritten >= kAudioStartFrames) {
    StartAudioCapture();
  }
}

void DesktopRecorder::StartAudioCapture() {
  audioThreadStarted = true;
  audioStopFlag = false;
  try {
    audioThread = std::make_unique<std::thread>();
    *audioThread = std::thread([this] {
      // Nothing may leave a thread body; a failure only ends the capture.
      try {
        AudioCaptureLoop();
      } catch (const std::exception&) {
      }
    });
  } catch (const std::exception&) {
    // The recording carries on with video only; the thread is not tried again in it.
    audioStopFlag = true;
  }
}

}  // namespace halvex
