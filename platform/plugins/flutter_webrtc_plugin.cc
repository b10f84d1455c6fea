#include "platform/plugins/not_implemented_channel.h"
#include "platform/plugins/plugin_registration.h"

void FlutterWebRTCPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  halvex::plugins::RegisterNotImplementedChannel(registrar, "flutter_webrtc_plugin");
}
