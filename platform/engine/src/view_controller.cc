// The view controller and its view: a child window whose procedure belongs to the engine and
// runs the engine's platform work on the thread that created it.
#include <shellscalingapi.h>

#include <mutex>

#include "engine_state.h"
#include "testing_state.h"
#include "view_painting.h"

using halvex::engine::CountCall;
using halvex::engine::CountedCall;

namespace {

constexpr wchar_t kViewWindowClass[] = L"HALVEX_ENGINE_VIEW";
constexpr UINT kDefaultDpi = 96;

LRESULT CALLBACK ViewWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == halvex::engine::kPlatformWorkMessage) {
    auto* engine =
        reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (engine != nullptr) {
      engine->RunPlatformWork();
    }
    return 0;
  } else if (message == WM_PAINT) {
    auto* engine =
        reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // Until the application hands over a picture the view paints nothing, as it always did.
    std::shared_ptr<const halvex::engine::ViewFrame> frame =
        engine == nullptr ? nullptr : engine->view_frame.Get();
    if (frame != nullptr) {
      halvex::engine::PaintViewFrame(window, *frame);
      return 0;
    }
  } else if (message == WM_NCDESTROY) {
    auto* engine =
        reinterpret_cast<FlutterDesktopEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (engine != nullptr) {
      engine->ViewWindowDestroyed();
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The view class is registered while at least one view exists.
class ViewWindowClass {
 public:
  static void Acquire() {
    std::lock_guard<std::mutex> guard(Lock());
    if (Users()++ == 0) {
      WNDCLASSW window_class = {};
      window_class.lpfnWndProc = &ViewWindowProc;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.lpszClassName = kViewWindowClass;
      RegisterClassW(&window_class);
    }
  }

  static void Release() {
    std::lock_guard<std::mutex> guard(Lock());
    if (--Users() == 0) {
      UnregisterClassW(kViewWindowClass, GetModuleHandleW(nullptr));
    }
  }

 private:
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  static int& Users() {
    static int users = 0;
    return users;
  }
};

}  // namespace

extern "C" {

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width,
                                                                   int height,
                                                                   FlutterDesktopEngineRef engine) {
  CountCall(CountedCall::kViewControllerCreate);
  halvex::engine::RecordViewControllerSize(width, height);
  // The engine is ours from here on, whatever happens next.
  std::unique_ptr<FlutterDesktopEngine> owned_engine(engine);
  if (owned_engine == nullptr || halvex::engine::ViewControllerCreationFails()) {
    return nullptr;
  }

  ViewWindowClass::Acquire();
  // A child of the message-only parent until the host makes it the content of its window.
  HWND window =
      CreateWindowExW(0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height,
                      HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), owned_engine.get());
  if (window == nullptr) {
    ViewWindowClass::Release();
    return nullptr;
  }
  auto* controller = new FlutterDesktopViewController();
  controller->engine = std::move(owned_engine);
  controller->view.window = window;
  controller->engine->Run(window);
  return controller;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  CountCall(CountedCall::kViewControllerDestroy);
  if (controller == nullptr) {
    return;
  }
  controller->engine->ShutDown();
  // The window may already be gone with a parent that was destroyed first.
  if (IsWindow(controller->view.window)) {
    DestroyWindow(controller->view.window);
  }
  controller->engine.reset();
  delete controller;
  ViewWindowClass::Release();
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller == nullptr ? nullptr : &controller->view;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view == nullptr ? nullptr : view->window;
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    HWND /*hwnd*/,
    UINT message,
    WPARAM /*wparam*/,
    LPARAM /*lparam*/,
    LRESULT* result) {
  if (controller == nullptr) {
    return false;
  }
  std::optional<LRESULT> consumed = halvex::engine::ConsumedTopLevelMessageResult(message);
  if (!consumed.has_value()) {
    return false;
  }
  if (result != nullptr) {
    *result = *consumed;
  }
  return true;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  CountCall(CountedCall::kForceRedraw);
  if (controller == nullptr) {
    return;
  }
  // Drawn from the message loop, like any frame: never inside the caller's own call.
  FlutterDesktopMessenger* messenger = controller->engine->messenger;
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  if (messenger->available) {
    ++messenger->queued.frames;
    messenger->WakePlatformThread();
  }
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = kDefaultDpi;
  UINT dpi_y = kDefaultDpi;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y))) {
    return kDefaultDpi;
  }
  return dpi_x;
}

// The library writes through the C runtime's streams, which follow a reopened stream already.
void FlutterDesktopResyncOutputStreams(void) {
  CountCall(CountedCall::kResyncOutputStreams);
}

}  // extern "C"
