#include "platform/plugins/not_implemented_channel.h"
#include "platform/plugins/plugin_registration.h"

void PermissionHandlerWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  halvex::plugins::RegisterNotImplementedChannel(registrar, "permission_handler_windows_plugin");
}
