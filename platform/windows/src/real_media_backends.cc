#include "real_media_backends.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace halvex::platform {
namespace {

struct Registry {
  std::mutex mutex;
  RealMediaBackends backends;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // Never destroyed: read by controls at exit.
  return *registry;
}

}  // namespace

void RegisterRealMediaBackends(RealMediaBackends backends) {
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.backends = backends;
  }
  SetSinkWriterBackendFactory(std::move(backends.sink_writer_factory));
  SetImageDecoderBackend(backends.make_image_decoder ? backends.make_image_decoder() : nullptr);
  SetDefaultDeviceProvider(std::move(backends.default_device_provider));
}

RealMediaBackends RegisteredRealMediaBackends() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.backends;
}

void ReportNoRealMedia(const char* control) {
  std::fprintf(stderr, "%s: this process has no real media back ends (halvex_windows_media)\n",
               control);
  std::fflush(stderr);
}

}  // namespace halvex::platform
