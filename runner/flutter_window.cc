#include "runner/flutter_window.h"

#include <optional>
#include <utility>

#include "recorder/desktop_recorder.h"
#include "recorder/recorder_channel.h"
#include "runner/plugin_registration.h"

FlutterWindow::FlutterWindow(const EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() = default;

bool FlutterWindow::OnCreated() {
  if (!Win32Window::OnCreated()) {
    return false;
  }

  // The view fills the client area, so it is created at that size rather than the window's.
  const RECT client = ClientRect();
  controller_ = std::make_unique<flutter::FlutterViewController>(
      client.right - client.left, client.bottom - client.top, project_);
  // Without a view the engine library refused the controller and has already said so.
  if (controller_->Engine() == nullptr || controller_->View() == nullptr) {
    return false;
  }

  flutter::FlutterEngine& engine = *controller_->Engine();
  halvex::RegisterAllPlugins(engine);
  halvex::RegisterRecorderChannel(engine.Messenger());
  SetContent(controller_->View()->WindowHandle());

  // The engine goes before the window does (OnDestroying), so the plain pointer stays valid for
  // as long as the callback can run.
  engine.OnNextFrame([this]() { Show(); });
  // Makes sure a first frame comes, even when the application has nothing new to draw.
  controller_->RequestRedraw();
  return true;
}

void FlutterWindow::OnDestroying() {
  if (controller_ != nullptr) {
    // Cleared before the controller goes, so nothing reaches it while it is being destroyed.
    std::unique_ptr<flutter::FlutterViewController> controller = std::move(controller_);
    controller.reset();
    // The recorder's calls still queued run now, so that their frames reach the recording; with
    // the engine gone, their answers go nowhere.
    halvex::FinishRecorderCalls();
  }
  Win32Window::OnDestroying();
}

LRESULT FlutterWindow::HandleMessage(HWND hwnd,
                                     UINT message,
                                     WPARAM wparam,
                                     LPARAM lparam) noexcept {
  if (controller_ != nullptr) {
    std::optional<LRESULT> result =
        controller_->HandleTopLevelMessage(hwnd, message, wparam, lparam);
    if (result.has_value()) {
      return *result;
    }
  }

  if (message == WM_FONTCHANGE && controller_ != nullptr) {
    controller_->Engine()->ReloadFonts();
  }

  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;  // The host may end with the session: it completes its recording first.
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: close the window as its close button
      // does, and complete a running recording now rather than at the process's end.
      if (wparam != FALSE) {
        Destroy();
        halvex::DesktopRecorder::Instance().Stop();
      }
      return 0;
    default:
      break;
  }

  return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
}
