#include "runner/window_class.h"

#include "runner/resources/resource.h"

const wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

WindowClassRegistry& WindowClassRegistry::Get() {
  static WindowClassRegistry registry;
  return registry;
}

void WindowClassRegistry::EnsureRegistered(WNDPROC window_procedure) {
  if (registered_) {
    return;
  }
  WNDCLASSW window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.hIcon = ::LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClassName;
  ::RegisterClassW(&window_class);
  registered_ = true;
}

void WindowClassRegistry::Unregister() {
  ::UnregisterClassW(kWindowClassName, nullptr);
  registered_ = false;
}
