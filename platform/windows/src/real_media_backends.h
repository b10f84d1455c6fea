// The real media back ends a process has when the media library (halvex_windows_media) is loaded
// into it. The stand-in itself links no media library: a process without it is scripted only,
// as after the test controls' resets.
#ifndef HALVEX_STANDIN_REAL_MEDIA_BACKENDS_H_
#define HALVEX_STANDIN_REAL_MEDIA_BACKENDS_H_

#include <functional>
#include <memory>

#include "mf_sink_writer_backend.h"
#include "wasapi_device_script.h"
#include "wic_decoded_image.h"

namespace halvex::platform {

struct RealMediaBackends {
  // Writes the files of sink writers.
  SinkWriterBackendFactory sink_writer_factory;
  // Makes a decoder for bytes no test scripted.
  std::function<std::shared_ptr<ImageDecoderBackend>()> make_image_decoder;
  // Provides the default playback device when no test has set one.
  std::function<std::shared_ptr<DeviceScript>()> default_device_provider;
};

// Called once by the media library as it is loaded: keeps `backends` for the test controls that
// bring the real world back, and installs each as the process's current one, so that a process
// starts with them.
void RegisterRealMediaBackends(RealMediaBackends backends);

// What was registered; every member is empty in a process without the media library.
RealMediaBackends RegisteredRealMediaBackends();

// Tells on standard error that `control` found no real back end to install, so that a test which
// needed one fails with its reason beside it.
void ReportNoRealMedia(const char* control);

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_REAL_MEDIA_BACKENDS_H_
