#include "engine_test_support.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace halvex::testing {
namespace {

constexpr wchar_t kTopLevelClass[] = L"HALVEX_ENGINE_TEST_TOP_LEVEL";
constexpr auto kPumpDeadline = std::chrono::seconds(10);
constexpr auto kWatchdogTick = std::chrono::milliseconds(20);

}  // namespace

TopLevelWindow::TopLevelWindow() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = &TopLevelWindow::WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kTopLevelClass;
  RegisterClassW(&window_class);
  handle_ = CreateWindowExW(0, kTopLevelClass, L"engine test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TopLevelWindow::~TopLevelWindow() {
  if (IsWindow(handle_)) {
    DestroyWindow(handle_);
  }
  UnregisterClassW(kTopLevelClass, GetModuleHandleW(nullptr));
}

LRESULT CALLBACK TopLevelWindow::WindowProc(HWND window,
                                            UINT message,
                                            WPARAM wparam,
                                            LPARAM lparam) {
  auto* self = reinterpret_cast<TopLevelWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_CLOSE && self != nullptr) {
    ++self->close_requests_;
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

FlutterDesktopEngineRef CreateEngine(const std::wstring& application_path,
                                     const std::vector<std::string>& arguments) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = L"engine_test_data\\flutter_assets";
  properties.icu_data_path = L"engine_test_data\\icudtl.dat";
  properties.aot_library_path = application_path.c_str();
  properties.entrypoint = "";
  properties.entrypoint_argc = static_cast<int32_t>(argv.size());
  properties.entrypoint_argv = argv.empty() ? nullptr : argv.data();
  return FlutterDesktopEngineCreate(&properties);
}

bool PumpMessagesUntil(const std::function<bool()>& done) {
  const DWORD thread = GetCurrentThreadId();
  const auto deadline = std::chrono::steady_clock::now() + kPumpDeadline;
  std::mutex lock;
  std::condition_variable stop_requested;
  bool stop = false;
  // Wakes the loop now and then, so `done` and the deadline are checked even when no message
  // arrives.
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> guard(lock);
    while (!stop_requested.wait_for(guard, kWatchdogTick, [&] { return stop; })) {
      PostThreadMessageW(thread, WM_NULL, 0, 0);
    }
  });
  bool succeeded = false;
  MSG message;
  while (true) {
    if (done()) {
      succeeded = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      break;
    }
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
      break;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    stop = true;
  }
  stop_requested.notify_all();
  watchdog.join();
  return succeeded;
}

}  // namespace halvex::testing
