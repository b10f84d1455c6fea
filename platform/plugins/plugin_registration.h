// The registration functions of the four plug-in libraries. Each takes the registrar that the
// engine library gave for the plug-in's name; a null registrar is ignored.
#ifndef HALVEX_PLATFORM_PLUGINS_PLUGIN_REGISTRATION_H_
#define HALVEX_PLATFORM_PLUGINS_PLUGIN_REGISTRATION_H_

#include "engine_host/engine_library_windows.h"

#if defined(_WIN32)
#if defined(HALVEX_PLUGIN_IMPLEMENTATION)
#define HALVEX_PLUGIN_EXPORT __declspec(dllexport)
#else
#define HALVEX_PLUGIN_EXPORT __declspec(dllimport)
#endif
#else
#define HALVEX_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* flutter_webrtc_plugin */
HALVEX_PLUGIN_EXPORT void FlutterWebRTCPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

/* gal_plugin */
HALVEX_PLUGIN_EXPORT void GalPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

/* permission_handler_windows_plugin */
HALVEX_PLUGIN_EXPORT void PermissionHandlerWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

/* url_launcher_windows_plugin */
HALVEX_PLUGIN_EXPORT void UrlLauncherWindowsRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

#ifdef __cplusplus
}
#endif

#endif /* HALVEX_PLATFORM_PLUGINS_PLUGIN_REGISTRATION_H_ */
