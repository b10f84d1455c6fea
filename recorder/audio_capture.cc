// Media Foundation's headers come first: mingw-w64's audioclient.h pulls in ksmedia.h, whose
// copies of two DirectShow types clash with strmif.h when that follows it.
#include <mfidl.h>
#include <mfreadwrite.h>

// The audio class and interface IDs are declared by the SDK but defined in no import library:
// this file defines them, once for the program.
#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <new>
#include <vector>

#include "recorder/audio_conversion.h"
#include "recorder/audio_timeline.h"
#include "recorder/capture_clock.h"
#include "recorder/default_device_watch.h"
#include "recorder/desktop_recorder.h"

namespace halvex {

// One packet as GetBuffer hands it over.
struct CapturedPacket {
  const BYTE* data = nullptr;
  UINT32 frames = 0;
  DWORD flags = 0;
  UINT64 devicePosition = 0;
  UINT64 time = 0;  // capture clock, 100-ns ticks
};

// What the capture thread keeps across the packets of one recording. The time line spans every
// device the recording captures from; the format, resampler and continuity belong to the device
// being captured and begin anew with each one.
struct CaptureSession {
  CaptureTimeline timeline;
  CaptureFormat format;
  StreamResampler resampler;
  StreamContinuity continuity;

  void BeginDevice(const CaptureFormat& deviceFormat) {
    format = deviceFormat;
    resampler = StreamResampler(deviceFormat.rate);
    continuity = StreamContinuity();
  }
};

namespace {

constexpr REFERENCE_TIME kDeviceBufferDuration = 10000000;  // one second
constexpr DWORD kPollIntervalMilliseconds = 8;
// Without a device, capture looks for one this often (100-ns ticks: one second).
constexpr int64_t kReopenInterval = kCaptureClockTicksPerSecond;
// A packet time further ahead of the capture clock than this is nonsense, not a gap to fill.
constexpr int64_t kLatestPlausibleTime = kCaptureClockTicksPerSecond;

// What the thread owns while it captures one device. Members are released in reverse order: the
// capture client, then the mix format, then the audio client, which stops a running stream.
struct LoopbackCapture {
  ComPtr<IAudioClient> client;
  CoTaskMemPtr<WAVEFORMATEX> mixFormat;
  ComPtr<IAudioCaptureClient> captureClient;
  CaptureFormat format;
  bool started = false;

  ~LoopbackCapture() {
    if (started) {
      client->Stop();
    }
  }
};

enum class OpenResult {
  kOpened,
  kNoDevice,  // none, or it went away while being opened: try again later
  kFailed,    // capture cannot be had: the thread ends, as it always has
};

enum class CaptureEnd {
  kStopped,     // the recording ends
  kDeviceGone,  // the device went away or another became the default: open the new one
  kFailed,      // capture failed for good
};

OpenResult ResultOf(HRESULT hr) {
  return hr == AUDCLNT_E_DEVICE_INVALIDATED ? OpenResult::kNoDevice : OpenResult::kFailed;
}

ComPtr<IMMDevice> DefaultPlaybackDevice(IMMDeviceEnumerator* enumerator) {
  ComPtr<IMMDevice> device;
  if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.Put())) || !device) {
    if (FAILED(enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, device.Put()))) {
      return ComPtr<IMMDevice>();
    }
  }
  return device;
}

// Opens shared-mode loopback capture of the default playback device in its own mix format, and
// starts it.
OpenResult OpenLoopbackCapture(IMMDeviceEnumerator* enumerator, LoopbackCapture* capture) {
  {
    ComPtr<IMMDevice> device = DefaultPlaybackDevice(enumerator);
    if (!device) {
      return OpenResult::kNoDevice;
    }
    // Activate takes its IID and out-parameter apart, where IID_PPV_ARGS cannot reach.
    const HRESULT activated = device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr,
                                               reinterpret_cast<void**>(capture->client.Put()));
    if (FAILED(activated)) {
      return ResultOf(activated);
    }
  }
  HRESULT hr = capture->client->GetMixFormat(capture->mixFormat.Put());
  if (FAILED(hr) || !capture->mixFormat) {
    return ResultOf(hr);
  }
  hr = capture->client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                   kDeviceBufferDuration, 0, capture->mixFormat.Get(), nullptr);
  if (FAILED(hr)) {
    return ResultOf(hr);
  }
  hr = capture->client->GetService(IID_PPV_ARGS(capture->captureClient.Put()));
  if (FAILED(hr)) {
    return ResultOf(hr);
  }
  capture->format = DeriveCaptureFormat(*capture->mixFormat.Get());
  // Samples of a layout that cannot be converted would only be noise in the file.
  if (capture->format.encoding == SampleEncoding::kUnsupported) {
    return OpenResult::kFailed;
  }
  hr = capture->client->Start();
  if (FAILED(hr)) {
    return ResultOf(hr);
  }
  capture->started = true;
  return OpenResult::kOpened;
}

CaptureEnd EndOf(HRESULT hr) {
  return hr == AUDCLNT_E_DEVICE_INVALIDATED ? CaptureEnd::kDeviceGone : CaptureEnd::kFailed;
}

}  // namespace

void DesktopRecorder::AudioCaptureLoop() {
  EnsureComInitialized();

  ComPtr<IMMDeviceEnumerator> enumerator;
  if (FAILED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL,
                              IID_PPV_ARGS(enumerator.Put())))) {
    return;
  }
  DefaultDeviceWatch watch(enumerator.Get());
  CaptureSession session;

  // Each pass captures one device until the recording stops or the device changes; without a
  // device, capture looks for one every second, or as soon as the system names a new default.
  for (;;) {
    watch.TakeChange();  // whatever changed so far, the device opened now is the current default
    const int64_t attempt = CaptureClockNow();
    LoopbackCapture capture;
    const OpenResult opened = OpenLoopbackCapture(enumerator.Get(), &capture);
    if (opened == OpenResult::kFailed) {
      return;
    }
    if (opened == OpenResult::kNoDevice) {
      while (!audioStopFlag && !watch.TakeChange() &&
             CaptureClockNow() - attempt < kReopenInterval) {
        Sleep(kPollIntervalMilliseconds);
      }
      if (audioStopFlag) {
        return;
      }
      continue;
    }
    session.BeginDevice(capture.format);

    CaptureEnd end = CaptureEnd::kStopped;
    IAudioCaptureClient* captureClient = capture.captureClient.Get();
    while (!audioStopFlag) {
      Sleep(kPollIntervalMilliseconds);
      if (watch.TakeChange()) {
        end = CaptureEnd::kDeviceGone;
        break;
      }
      UINT32 packetFrames = 0;
      HRESULT hr = captureClient->GetNextPacketSize(&packetFrames);
      if (FAILED(hr)) {
        end = EndOf(hr);
        break;
      }
      // Drain every packet that is waiting before sleeping again.
      while (packetFrames != 0) {
        CapturedPacket packet;
        BYTE* data = nullptr;
        hr = captureClient->GetBuffer(&data, &packet.frames, &packet.flags, &packet.devicePosition,
                                      &packet.time);
        if (FAILED(hr)) {
          break;
        }
        packet.data = data;
        const bool silent = (packet.flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
        if (packet.frames != 0 && (data != nullptr || silent)) {
          ProcessAudioPacket(packet, &session);
        }
        captureClient->ReleaseBuffer(packet.frames);
        if (audioStopFlag) {
          break;
        }
        hr = captureClient->GetNextPacketSize(&packetFrames);
        if (FAILED(hr)) {
          break;
        }
      }
      if (hr == AUDCLNT_E_DEVICE_INVALIDATED) {
        end = CaptureEnd::kDeviceGone;
        break;
      }
    }
    if (end != CaptureEnd::kDeviceGone) {
      return;
    }
  }
}

void DesktopRecorder::ProcessAudioPacket(const CapturedPacket& packet, CaptureSession* session) {
  const bool silent = (packet.flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
  const bool discontinuity = (packet.flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0;
  const bool followsOn =
      session->continuity.FollowsOn(packet.devicePosition, packet.frames, discontinuity);
  if (!followsOn) {
    session->resampler.Restart();
  }
  std::vector<int16_t> chunk;
  try {
    // A silent packet's data may be anything; it is silence of its length, resampled like sound
    // so that the stream keeps its phase.
    const std::vector<int16_t> mono =
        silent ? std::vector<int16_t>(packet.frames, 0)
               : MixDownToMono(packet.data, packet.frames, session->format);
    chunk = session->resampler.Resample(mono.data(), mono.size());
  } catch (const std::bad_alloc&) {
    session->resampler.Restart();
    return;
  }
  if (chunk.empty()) {
    return;
  }
  const bool audible = !silent && IsAudible(chunk);

  // A time the device marks as wrong, or one beyond the present, says nothing of where the packet
  // belongs: it then follows on from what came before.
  const int64_t now = CaptureClockNow();
  int64_t time = static_cast<int64_t>(packet.time);
  const bool timeKnown = (packet.flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) == 0 &&
                         packet.time <= static_cast<UINT64>(INT64_MAX) &&
                         time - now <= kLatestPlausibleTime;

  MutexLock lock(&mutex);
  if (!recordingActive || !writingBegun || !audioEnabled || !audioStreamPresent) {
    return;
  }
  CaptureTimeline& timeline = session->timeline;
  const bool anchoring = !timeline.anchored();
  if (anchoring) {
    // The first packet of the recording, silent or not, starts where the picture was when it was
    // captured; its placement fills the audio with silence up to there.
    if (!timeKnown) {
      time = now;
    }
    timeline.Anchor(time, std::max(AudioPositionOfVideoAt(time), audioPosition));
  }
  const int64_t length = static_cast<int64_t>(chunk.size());
  ChunkPlacement placement;
  if (timeKnown || anchoring) {
    placement = PlaceChunk(timeline.PositionAt(time), audioPosition, length, followsOn);
  }
  if (placement.silence > 0) {
    PadAudioTo(audioPosition + placement.silence);
  }
  if (placement.skip >= length) {
    return;
  }
  const bool written =
      WriteAudioSamples(chunk.data() + placement.skip, length - placement.skip, audible);
  if (written && !silent) {
    capturedAudioWritten = true;
  }
}

}  // namespace halvex
