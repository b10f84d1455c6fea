// Test controls of the engine library stand-in. Tests include this header and link the engine
// library; product code never does. The controls are process-wide, like the library itself:
// call ResetEngineTesting() at the start of every test that uses them.
//
// What a test can do:
// - make the view controller consume a window message with a chosen result
//   (ConsumeTopLevelMessage), as an engine that handles, say, WM_FONTCHANGE itself;
// - make view-controller creation fail (FailViewControllerCreation);
// - keep the application from being loaded at all (DisableApplication), for tests of the host
//   that need a running engine but no application closing the window;
// - read counters of the calls that leave no other trace and the last engine properties and
//   view-controller size received, and the order of registrar lookups and channel registrations.
#ifndef HALVEX_PLATFORM_ENGINE_ENGINE_TESTING_H_
#define HALVEX_PLATFORM_ENGINE_ENGINE_TESTING_H_

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_LIBRARY)
#define HALVEX_ENGINE_TESTING_EXPORT __declspec(dllexport)
#else
#define HALVEX_ENGINE_TESTING_EXPORT __declspec(dllimport)
#endif
#else
#define HALVEX_ENGINE_TESTING_EXPORT __attribute__((visibility("default")))
#endif

namespace halvex::engine_testing {

// Counts of calls into the engine library since the last reset.
struct EngineCallCounts {
  int engine_create = 0;
  int engine_destroy = 0;
  int reload_system_fonts = 0;
  int view_controller_create = 0;  // attempts, refused ones included
  int view_controller_destroy = 0;
  int force_redraw = 0;
  int resync_output_streams = 0;
  int next_frame_callbacks_run = 0;
};

// A copy of what FlutterDesktopEngineCreate received, taken during the call.
struct RecordedEngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  bool entrypoint_was_null = false;
  int32_t entrypoint_argc = 0;
  bool entrypoint_argv_was_null = false;
  std::vector<std::string> entrypoint_arguments;
  int32_t engine_options[4] = {0, 0, 0, 0};
  uint8_t engine_option_flag = 0;
};

// Restores every control to its default and zeroes every record.
HALVEX_ENGINE_TESTING_EXPORT void ResetEngineTesting();

// From now on FlutterDesktopViewControllerHandleTopLevelWindowProc reports `message` as handled
// with `result` (for any window and parameters). Other messages stay unhandled.
HALVEX_ENGINE_TESTING_EXPORT void ConsumeTopLevelMessage(uint32_t message, intptr_t result);

// While set, FlutterDesktopViewControllerCreate returns null. The engine it was given is still
// taken over (and destroyed), as the library promises.
HALVEX_ENGINE_TESTING_EXPORT void FailViewControllerCreation(bool fail);

// While set, a new view controller loads and runs no application: the engine stays idle and
// never closes the window by itself.
HALVEX_ENGINE_TESTING_EXPORT void DisableApplication(bool disable);

HALVEX_ENGINE_TESTING_EXPORT EngineCallCounts CallCounts();
HALVEX_ENGINE_TESTING_EXPORT RecordedEngineProperties LastEngineProperties();

// Width and height of the last FlutterDesktopViewControllerCreate call, in that order.
HALVEX_ENGINE_TESTING_EXPORT void LastViewControllerSize(int* width, int* height);

// Plug-in names passed to FlutterDesktopEngineGetPluginRegistrar, in call order.
HALVEX_ENGINE_TESTING_EXPORT std::vector<std::string> RegistrarRequests();

// Channels given a callback with FlutterDesktopMessengerSetCallback, in call order (removals,
// a null callback, are not listed).
HALVEX_ENGINE_TESTING_EXPORT std::vector<std::string> ChannelRegistrations();

}  // namespace halvex::engine_testing

#endif  // HALVEX_PLATFORM_ENGINE_ENGINE_TESTING_H_
