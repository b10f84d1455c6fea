// The engine, its plug-in registrars, its view controller and view.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_ENGINE_STATE_H_
#define HALVEX_PLATFORM_ENGINE_SRC_ENGINE_STATE_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "application_runner.h"
#include "engine_host/engine_library_windows.h"
#include "messenger_state.h"
#include "view_frame.h"

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string plugin_name;
};

// Used on the platform thread only, except for `messenger` and `view_frame`, which guard
// themselves.
struct FlutterDesktopEngine {
  explicit FlutterDesktopEngine(const FlutterDesktopEngineProperties& properties);
  ~FlutterDesktopEngine();
  FlutterDesktopEngine(const FlutterDesktopEngine&) = delete;
  FlutterDesktopEngine& operator=(const FlutterDesktopEngine&) = delete;

  // Starts the application once the view exists; `view_window` receives the platform work.
  void Run(HWND view_window);

  // Ends the application (waking any call it waits in), joins its thread and settles what is
  // still owed to the host. Safe to call more than once.
  void ShutDown();

  // Called on the platform thread when the view window is told that work is queued.
  void RunPlatformWork();

  void RunNextFrameCallback();

  // Called by the application thread: keeps `frame` for the view and has the platform thread
  // repaint it. Returns false, keeping nothing, once the engine is shutting down.
  bool PresentFrame(std::shared_ptr<const halvex::engine::ViewFrame> frame);

  // The view window is gone (possibly with a parent destroyed first): nothing can be posted to
  // the platform thread any more.
  void ViewWindowDestroyed();

  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  std::vector<std::string> entrypoint_arguments;

  FlutterDesktopMessenger* messenger;  // one reference, released with the engine
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopOnNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;
  HWND view_window = nullptr;
  halvex::engine::LatestViewFrame view_frame;
  std::unique_ptr<halvex::engine::ApplicationRunner> application;
};

struct FlutterDesktopView {
  HWND window = nullptr;
};

struct FlutterDesktopViewController {
  std::unique_ptr<FlutterDesktopEngine> engine;
  FlutterDesktopView view;
};

#endif  // HALVEX_PLATFORM_ENGINE_SRC_ENGINE_STATE_H_
