#include "platform/plugins/not_implemented_channel.h"
#include "platform/plugins/plugin_registration.h"

void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  halvex::plugins::RegisterNotImplementedChannel(registrar, "url_launcher_windows_plugin");
}
