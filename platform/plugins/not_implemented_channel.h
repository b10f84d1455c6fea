// What each stand-in plug-in does: one method channel that declines every call.
#ifndef HALVEX_PLATFORM_PLUGINS_NOT_IMPLEMENTED_CHANNEL_H_
#define HALVEX_PLATFORM_PLUGINS_NOT_IMPLEMENTED_CHANNEL_H_

#include "engine_host/engine_library_windows.h"

namespace halvex::plugins {

// Puts a method channel named `channel` on the registrar's messenger that answers every call as
// not implemented. Does nothing for a null registrar or a registrar without a messenger.
void RegisterNotImplementedChannel(FlutterDesktopPluginRegistrarRef registrar, const char* channel);

}  // namespace halvex::plugins

#endif  // HALVEX_PLATFORM_PLUGINS_NOT_IMPLEMENTED_CHANNEL_H_
