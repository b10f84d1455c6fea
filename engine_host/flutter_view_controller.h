#ifndef HALVEX_ENGINE_HOST_FLUTTER_VIEW_CONTROLLER_H_
#define HALVEX_ENGINE_HOST_FLUTTER_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>
#include <optional>

#include "engine_host/engine_library_windows.h"
#include "engine_host/engine_project.h"
#include "engine_host/flutter_engine.h"
#include "engine_host/flutter_view.h"

namespace flutter {

// Creates an engine from a project and hands it to the engine library's view controller, which
// runs it behind a view of the given size. Used on the platform thread only.
class FlutterViewController {
 public:
  // `width` and `height` are physical pixels. When the library refuses the view controller, one
  // line is written to standard error and the object has an engine but no view.
  FlutterViewController(int width, int height, const EngineProject& project);
  // Ends the library's view controller (and with it the engine), then the view and engine
  // wrappers.
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  // Lent, not shared: valid as long as this object.
  FlutterEngine* Engine() const { return engine_.get(); }
  // Null when the library refused the view controller.
  FlutterView* View() const { return view_.get(); }

  // Offers a top-level window message to the engine: the engine's result when it handled the
  // message, nothing when the window's own handling should go on.
  std::optional<LRESULT> HandleTopLevelMessage(HWND hwnd,
                                               UINT message,
                                               WPARAM wparam,
                                               LPARAM lparam);

  void RequestRedraw();

 private:
  FlutterDesktopViewControllerRef handle_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // HALVEX_ENGINE_HOST_FLUTTER_VIEW_CONTROLLER_H_
