// Makes this library's back ends the process's real media as the library is loaded. The stand-in
// it depends on is initialised first, so its registry is ready.
#include "media_mf_mp4_backend.h"
#include "media_wasapi_loopback_device.h"
#include "media_wic_png_backend.h"
#include "real_media_backends.h"

namespace halvex::platform {
namespace {

bool RegisterThisLibrary() {
  RegisterRealMediaBackends(
      {MakeMp4SinkWriterBackend, MakePngDecoderBackend, ProvideLoopbackDevice});
  return true;
}

[[maybe_unused]] const bool registered_at_load = RegisterThisLibrary();

}  // namespace
}  // namespace halvex::platform
