// Media Foundation's headers come first: mingw-w64's audioclient.h pulls in ksmedia.h, whose
// copies of two DirectShow types clash with strmif.h when that follows it.
#include <mfidl.h>
#include <mfreadwrite.h>

// The audio class and interface IDs are declared by the SDK but defined in no import library:
// this file defines them, once for the program.
#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <new>
#include <vector>

#include "recorder/audio_conversion.h"
#include "recorder/desktop_recorder.h"

namespace halvex {
namespace {

constexpr REFERENCE_TIME kDeviceBufferDuration = 10000000;  // one second
constexpr DWORD kPollIntervalMilliseconds = 8;

// What the thread owns while it captures. Members are released in reverse order: the capture
// client, then the mix format, then the audio client.
struct LoopbackCapture {
  ComPtr<IAudioClient> client;
  CoTaskMemPtr<WAVEFORMATEX> mixFormat;
  ComPtr<IAudioCaptureClient> captureClient;
  CaptureFormat format;
};

ComPtr<IMMDevice> DefaultPlaybackDevice() {
  ComPtr<IMMDeviceEnumerator> enumerator;
  if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                              IID_IMMDeviceEnumerator, enumerator.PutVoid()))) {
    return ComPtr<IMMDevice>();
  }
  ComPtr<IMMDevice> device;
  if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())) || !device) {
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, device.Put()))) {
      return ComPtr<IMMDevice>();
    }
  }
  return device;
}

// Opens shared-mode loopback capture of the default playback device in its own mix format.
bool OpenLoopbackCapture(LoopbackCapture* capture) {
  {
    ComPtr<IMMDevice> device = DefaultPlaybackDevice();
    if (!device || FAILED(device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                           capture->client.PutVoid()))) {
      return false;
    }
  }
  if (FAILED(capture->client->GetMixFormat(capture->mixFormat.Put())) || !capture->mixFormat) {
    return false;
  }
  if (FAILED(capture->client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                         kDeviceBufferDuration, 0, capture->mixFormat.Get(),
                                         nullptr))) {
    return false;
  }
  if (FAILED(
          capture->client->GetService(IID_IAudioCaptureClient, capture->captureClient.PutVoid()))) {
    return false;
  }
  capture->format = DeriveCaptureFormat(*capture->mixFormat.Get());
  // Samples of a layout that cannot be converted would only be noise in the file.
  return capture->format.encoding != SampleEncoding::kUnsupported;
}

}  // namespace

void DesktopRecorder::AudioCaptureLoop() {
  EnsureComInitialized();

  LoopbackCapture capture;
  if (!OpenLoopbackCapture(&capture) || FAILED(capture.client->Start())) {
    return;
  }
  IAudioCaptureClient* captureClient = capture.captureClient.Get();
  while (!audioStopFlag) {
    Sleep(kPollIntervalMilliseconds);
    UINT32 packetFrames = 0;
    if (FAILED(captureClient->GetNextPacketSize(&packetFrames))) {
      break;
    }
    // Drain every packet that is waiting before sleeping again.
    while (packetFrames != 0) {
      BYTE* data = nullptr;
      UINT32 frames = 0;
      DWORD flags = 0;
      if (FAILED(captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
        break;
      }
      if (frames != 0 && data != nullptr && (flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0) {
        ProcessAudioPacket(data, frames, capture.format);
      }
      captureClient->ReleaseBuffer(frames);
      if (audioStopFlag || FAILED(captureClient->GetNextPacketSize(&packetFrames))) {
        break;
      }
    }
  }
  capture.client->Stop();
}

void DesktopRecorder::ProcessAudioPacket(const uint8_t* data,
                                         uint32_t frames,
                                         const CaptureFormat& format) {
  std::vector<int16_t> chunk;
  try {
    chunk = ResampleToRecordingRate(MixDownToMono(data, frames, format), format.rate);
  } catch (const std::bad_alloc&) {
    return;
  }
  if (chunk.empty()) {
    return;
  }
  const bool audible = IsAudible(chunk);

  std::lock_guard<std::mutex> lock(mutex);
  if (!recordingActive || !writingBegun || !audioEnabled || !audioStreamPresent) {
    return;
  }
  // The first sound starts where the picture is: silence fills the audio up to the video's end.
  if (audible && audioPosition == 0 && videoFrameIndex > 0) {
    PadAudioToVideo();
  }
  WriteAudioSamples(chunk.data(), static_cast<int64_t>(chunk.size()), audible);
}

}  // namespace halvex
