#include "engine_host/flutter_view_controller.h"

#include "messaging/diagnostic.h"

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const EngineProject& project) {
  engine_ = std::make_shared<FlutterEngine>(project);
  // The library owns the engine from this call on, whether or not it succeeds.
  handle_ = FlutterDesktopViewControllerCreate(width, height, engine_->ReleaseHandle());
  if (handle_ == nullptr) {
    halvex::PrintDiagnosticLine("Failed to create view controller.");
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(handle_));
}

FlutterViewController::~FlutterViewController() {
  if (handle_ != nullptr) {
    FlutterDesktopViewControllerDestroy(handle_);
  }
  view_.reset();
  engine_.reset();
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelMessage(HWND hwnd,
                                                                    UINT message,
                                                                    WPARAM wparam,
                                                                    LPARAM lparam) {
  if (handle_ == nullptr) {
    return std::nullopt;
  }
  LRESULT result = 0;
  if (!FlutterDesktopViewControllerHandleTopLevelWindowProc(handle_, hwnd, message, wparam, lparam,
                                                            &result)) {
    return std::nullopt;
  }
  return result;
}

void FlutterViewController::RequestRedraw() {
  if (handle_ != nullptr) {
    FlutterDesktopViewControllerForceRedraw(handle_);
  }
}

}  // namespace flutter
