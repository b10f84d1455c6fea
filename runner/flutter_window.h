// The application's top-level window: hosts the engine's view and registers what the application
// talks to (the plug-ins and the desktop recorder).
#ifndef HALVEX_RUNNER_FLUTTER_WINDOW_H_
#define HALVEX_RUNNER_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>

#include "engine_host/engine_project.h"
#include "engine_host/flutter_view_controller.h"
#include "runner/win32_window.h"

// Creates the engine and its view as soon as the native window exists, at the size of the client
// area, and shows itself when the engine has drawn its first frame. Offers every message to the
// engine before handling it. Destroying the native window ends the engine.
class FlutterWindow : public Win32Window {
 public:
  // Keeps its own copy of `project`; each view controller is created from it.
  explicit FlutterWindow(const EngineProject& project);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept override;
  bool OnCreated() override;
  void OnDestroying() override;

 private:
  EngineProject project_;
  // Declared after the project, so it is destroyed before it.
  std::unique_ptr<flutter::FlutterViewController> controller_;
};

#endif  // HALVEX_RUNNER_FLUTTER_WINDOW_H_
