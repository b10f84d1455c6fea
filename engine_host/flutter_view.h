#ifndef HALVEX_ENGINE_HOST_FLUTTER_VIEW_H_
#define HALVEX_ENGINE_HOST_FLUTTER_VIEW_H_

#include <windows.h>

#include "engine_host/engine_library_windows.h"

namespace flutter {

// The engine's view. The handle belongs to the view controller.
class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef handle) : handle_(handle) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The child window showing the engine's output; it may be re-parented and moved.
  HWND WindowHandle() const { return FlutterDesktopViewGetHWND(handle_); }

 private:
  FlutterDesktopViewRef handle_;
};

}  // namespace flutter

#endif  // HALVEX_ENGINE_HOST_FLUTTER_VIEW_H_
