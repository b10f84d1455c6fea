#include "media_wasapi_loopback_device.h"

#include <ksmedia.h>
#include <mmreg.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "media_pulse_capture.h"
#include "media_pulse_default_sink_watch.h"

namespace halvex::platform {
namespace {

using media::LoopbackError;
using media::LoopbackMixFormat;
using media::LoopbackPacket;
using media::LoopbackSampleType;
using media::LoopbackSink;
using media::PulseDefaultSinkWatch;
using media::PulseLoopbackCapture;

std::vector<BYTE> WaveFormatOf(const LoopbackMixFormat& mix) {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  format.Format.nChannels = mix.channels;
  format.Format.nSamplesPerSec = mix.samples_per_second;
  format.Format.nAvgBytesPerSec = mix.average_bytes_per_second();
  format.Format.nBlockAlign = mix.block_align();
  format.Format.wBitsPerSample = mix.bits_per_sample;
  format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
  format.Samples.wValidBitsPerSample = mix.valid_bits_per_sample;
  format.dwChannelMask = mix.channel_mask;
  format.SubFormat = mix.sample_type == LoopbackSampleType::kIeeeFloat
                         ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT
                         : KSDATAFORMAT_SUBTYPE_PCM;
  const auto* bytes = reinterpret_cast<const BYTE*>(&format);
  return std::vector<BYTE>(bytes, bytes + sizeof(format));
}

// Opens the capture when a stream on the device starts and closes it when the stream stops, and
// moves every packet that arrives into the device, on the server's event thread.
class LoopbackFeeder {
 public:
  LoopbackFeeder(LoopbackSink sink, std::weak_ptr<DeviceScript> device)
      : sink_(std::move(sink)), device_(std::move(device)) {}

  void Running(bool running) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!running) {
      capture_.reset();
      return;
    }
    if (capture_) {
      return;
    }
    std::unique_ptr<PulseLoopbackCapture> capture;
    // The listener learns the capture's address once Open returns; the capture ends its event
    // thread before it goes, so the address stays good for every call.
    auto opened = std::make_shared<std::atomic<PulseLoopbackCapture*>>(nullptr);
    const std::weak_ptr<DeviceScript> device = device_;
    LoopbackError error = PulseLoopbackCapture::Open(
        sink_, sink_.mix_format.samples_per_second, &capture,
        [opened, device] { MoveWaitingPackets(opened->load(), device); });
    if (error == LoopbackError::kNone) {
      opened->store(capture.get());
      error = capture->Start();
    }
    if (error != LoopbackError::kNone) {
      // The sink has gone since the device was found: the device goes with it.
      if (const std::shared_ptr<DeviceScript> script = device_.lock()) {
        script->Invalidate();
      }
      return;
    }
    capture_ = std::move(capture);
  }

 private:
  static void MoveWaitingPackets(PulseLoopbackCapture* capture,
                                 const std::weak_ptr<DeviceScript>& device) {
    const std::shared_ptr<DeviceScript> script = device.lock();
    if (capture == nullptr || !script) {
      return;
    }
    LoopbackPacket packet;
    while (capture->TakePacket(&packet)) {
      script->Queue(testing::AudioPacket{packet.frames, packet.flags, std::move(packet.data),
                                         packet.position, static_cast<UINT64>(packet.time)});
    }
    std::uint32_t frames = 0;
    if (capture->NextPacketFrames(&frames) != LoopbackError::kNone) {
      script->Invalidate();
    }
  }

  std::mutex mutex_;
  const LoopbackSink sink_;
  const std::weak_ptr<DeviceScript> device_;
  std::unique_ptr<PulseLoopbackCapture> capture_;
};

// The server's default sink changed: the device given for the old one is the default no longer.
// Clients hear of the new default device, as Windows tells them of a new default endpoint.
void DefaultSinkChanged(const std::string& /*sink*/) {
  if (ForgetProvidedDefaultDevice()) {
    NotifyDefaultDeviceChanged(DefaultDevice());
  }
}

// The server is gone: so is every device it gave, as an unplugged one is.
void ServerLost() {
  if (ForgetProvidedDefaultDevice(/*invalidate=*/true)) {
    NotifyDefaultDeviceChanged(nullptr);
  }
}

// One watch of the default sink for the process, on the server the environment names. A watch of
// a server the environment no longer names is kept, idle, rather than destroyed: its event thread
// may be the caller.
void EnsureDefaultSinkWatched() {
  struct Watches {
    std::mutex mutex;
    std::string server;
    std::unique_ptr<PulseDefaultSinkWatch> current;
    std::vector<std::unique_ptr<PulseDefaultSinkWatch>> retired;
  };
  static Watches* watches = new Watches();  // Never destroyed: its threads run until exit.
  const char* named = std::getenv("PULSE_SERVER");
  const std::string server = named != nullptr ? named : "";
  std::lock_guard<std::mutex> lock(watches->mutex);
  if (watches->current && watches->server == server) {
    return;
  }
  if (watches->current) {
    watches->retired.push_back(std::move(watches->current));
  }
  if (PulseDefaultSinkWatch::Start(DefaultSinkChanged, ServerLost, &watches->current) ==
      LoopbackError::kNone) {
    watches->server = server;
  }
}

}  // namespace

std::shared_ptr<DeviceScript> ProvideLoopbackDevice() {
  EnsureDefaultSinkWatched();
  LoopbackSink sink;
  if (media::FindDefaultSink(&sink) != LoopbackError::kNone) {
    return nullptr;
  }
  auto device = std::make_shared<DeviceScript>(WaveFormatOf(sink.mix_format));
  auto feeder = std::make_shared<LoopbackFeeder>(std::move(sink), device);
  device->SetRunningObserver([feeder](bool running) { feeder->Running(running); });
  return device;
}

}  // namespace halvex::platform
