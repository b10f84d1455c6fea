// The audio stand-in's default playback device when no test scripted one: the sound server's
// default sink, captured in loopback while a stream on the device runs.
#ifndef HALVEX_STANDIN_MEDIA_WASAPI_LOOPBACK_DEVICE_H_
#define HALVEX_STANDIN_MEDIA_WASAPI_LOOPBACK_DEVICE_H_

#include <memory>

#include "wasapi_device_script.h"

namespace halvex::platform {

// A device in the default sink's mix format, filled with what the sink plays while one of its
// streams runs; null when no server can be reached or it has no sink. Never starts a server.
std::shared_ptr<DeviceScript> ProvideLoopbackDevice();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MEDIA_WASAPI_LOOPBACK_DEVICE_H_
