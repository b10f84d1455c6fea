#ifndef HALVEX_ENGINE_HOST_PLUGIN_REGISTRY_H_
#define HALVEX_ENGINE_HOST_PLUGIN_REGISTRY_H_

#include <string>

#include "engine_host/engine_library_windows.h"

namespace flutter {

// Hands out the engine library's registrar for a plug-in, by the plug-in's name.
class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // `plugin_name` is UTF-8. Returns null when there is no engine to register with.
  virtual FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // HALVEX_ENGINE_HOST_PLUGIN_REGISTRY_H_
