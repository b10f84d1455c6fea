#include "not_implemented_channel.h"

namespace halvex::plugins {
namespace {

// In the standard method codec "not implemented" is the empty envelope, whatever the call; the
// channel keeps no state, so nothing outlives the engine.
void DeclineCall(FlutterDesktopMessengerRef messenger,
                 const FlutterDesktopMessage* message,
                 void* /*user_data*/) {
  if (message == nullptr) {
    return;
  }
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
}

}  // namespace

void RegisterNotImplementedChannel(FlutterDesktopPluginRegistrarRef registrar,
                                   const char* channel) {
  if (registrar == nullptr) {
    return;
  }
  FlutterDesktopMessengerRef messenger = FlutterDesktopPluginRegistrarGetMessenger(registrar);
  if (messenger == nullptr) {
    return;
  }
  FlutterDesktopMessengerSetCallback(messenger, channel, &DeclineCall, nullptr);
}

}  // namespace halvex::plugins
