#include "runner/plugin_registration.h"

#include "engine_host/engine_library_windows.h"
#include "engine_host/plugin_registry.h"

// The registration functions, imported by name from the plug-in libraries at load time.
extern "C" {
void FlutterWebRTCPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void GalPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void PermissionHandlerWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}

namespace halvex {
namespace {

struct Plugin {
  const char* name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef registrar);
};

// In registration order.
constexpr Plugin kPlugins[] = {
    {"FlutterWebRTCPlugin", FlutterWebRTCPluginRegisterWithRegistrar},
    {"GalPluginCApi", GalPluginCApiRegisterWithRegistrar},
    {"PermissionHandlerWindowsPlugin", PermissionHandlerWindowsPluginRegisterWithRegistrar},
    {"UrlLauncherWindows", UrlLauncherWindowsRegisterWithRegistrar},
};

}  // namespace

void RegisterAllPlugins(flutter::PluginRegistry& registry) {
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(registry.RegistrarForPlugin(plugin.name));
  }
}

}  // namespace halvex
