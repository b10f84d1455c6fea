#include "platform/plugins/not_implemented_channel.h"
#include "platform/plugins/plugin_registration.h"

void GalPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  halvex::plugins::RegisterNotImplementedChannel(registrar, "gal_plugin");
}
