/* The engine library's interface beyond the messenger: engine, view controller, view, plug-in
   registrar and the Windows-facing helpers. Kept apart from engine_library.h so that the
   messaging layer builds without any Windows declarations. */
#ifndef HALVEX_ENGINE_HOST_ENGINE_LIBRARY_WINDOWS_H_
#define HALVEX_ENGINE_HOST_ENGINE_LIBRARY_WINDOWS_H_

#include <windows.h>

#include "engine_host/engine_library.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

/* What the engine is created from. The texts and the argument array need to live only for the
   duration of FlutterDesktopEngineCreate: the library copies what it keeps. The explicit padding
   fields make the all-zero filler bytes part of the record. */
typedef struct FlutterDesktopEngineProperties {
  const wchar_t* assets_path;      /* NUL-terminated UTF-16 */
  const wchar_t* icu_data_path;    /* NUL-terminated UTF-16 */
  const wchar_t* aot_library_path; /* NUL-terminated UTF-16 */
  const char* entrypoint;          /* NUL-terminated UTF-8; empty for the default */
  int32_t entrypoint_argc;
  int32_t reserved_after_argc;  /* zero */
  const char** entrypoint_argv; /* entrypoint_argc UTF-8 texts, or NULL when there are none */
  int32_t engine_options[4];
  uint8_t engine_option_flag;
  uint8_t reserved_after_flag[7]; /* zero */
} FlutterDesktopEngineProperties;

#ifdef __cplusplus
/* The library reads the record at fixed offsets of the 64-bit layout. */
static_assert(sizeof(FlutterDesktopEngineProperties) == 72, "properties record is 72 bytes");
static_assert(offsetof(FlutterDesktopEngineProperties, assets_path) == 0, "assets_path at 0");
static_assert(offsetof(FlutterDesktopEngineProperties, icu_data_path) == 8, "icu_data_path at 8");
static_assert(offsetof(FlutterDesktopEngineProperties, aot_library_path) == 16,
              "aot_library_path at 16");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint) == 24, "entrypoint at 24");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint_argc) == 32,
              "entrypoint_argc at 32");
static_assert(offsetof(FlutterDesktopEngineProperties, reserved_after_argc) == 36,
              "zero filler at 36");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint_argv) == 40,
              "entrypoint_argv at 40");
static_assert(offsetof(FlutterDesktopEngineProperties, engine_options) == 48,
              "engine_options at 48");
static_assert(sizeof(FlutterDesktopEngineProperties::engine_options) == 16,
              "four 32-bit engine options");
static_assert(offsetof(FlutterDesktopEngineProperties, engine_option_flag) == 64,
              "engine_option_flag at 64");
static_assert(offsetof(FlutterDesktopEngineProperties, reserved_after_flag) == 65,
              "zero filler at 65");
#endif

/* Called once on the platform thread after the next frame. */
typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);

/* Engine */

FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);

FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);

FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);

FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine,
    FlutterDesktopOnNextFrameCallback callback,
    void* user_data);

FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

/* View controller and view */

/* Takes the engine over, whether or not it succeeds; returns NULL when it fails. */
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);

/* Ends the view and the engine the controller took over. */
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);

FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

/* Offers a top-level window message to the engine. Returns true when the engine handled it,
   with the message's result stored in *result. */
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    HWND hwnd,
    UINT message,
    WPARAM wparam,
    LPARAM lparam,
    LRESULT* result);

FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);

/* Plug-in registrar */

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef registrar);

/* Process-wide helpers */

FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);

/* Makes the library write to standard streams that were reopened after it was loaded. */
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

#ifdef __cplusplus
}
#endif

#endif /* HALVEX_ENGINE_HOST_ENGINE_LIBRARY_WINDOWS_H_ */
