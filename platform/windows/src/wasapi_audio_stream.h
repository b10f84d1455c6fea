// The state an audio client shares with the capture clients it hands out.
#ifndef HALVEX_STANDIN_WASAPI_AUDIO_STREAM_H_
#define HALVEX_STANDIN_WASAPI_AUDIO_STREAM_H_

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <memory>
#include <mutex>

#include "wasapi_device_script.h"

namespace halvex::platform {

struct AudioStream {
  explicit AudioStream(std::shared_ptr<DeviceScript> script) : device(std::move(script)) {}

  const std::shared_ptr<DeviceScript> device;
  std::mutex mutex;
  bool initialized = false;
  bool started = false;
  DWORD stream_flags = 0;
  REFERENCE_TIME buffer_duration = 0;
};

// Each returns a new object with one reference, or null when out of memory.
IMMDevice* CreateAudioDevice(std::shared_ptr<DeviceScript> script);
IAudioClient* CreateAudioClient(std::shared_ptr<DeviceScript> script);
IAudioCaptureClient* CreateCaptureClient(std::shared_ptr<AudioStream> stream);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_WASAPI_AUDIO_STREAM_H_
