#include "runner/win32_window.h"

#include "engine_host/engine_library_windows.h"
#include "runner/dpi_scale.h"
#include "runner/theme.h"
#include "runner/window_class.h"

namespace {

// Present from Windows 10 version 1607 on; looked up at run time so older systems still start.
using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);

// Lets the system scale the title bar and borders with the monitor's DPI, where it can.
void EnableFrameDpiScaling(HWND hwnd) {
  HMODULE user32 = ::LoadLibraryA("User32.dll");
  if (user32 == nullptr) {
    return;
  }
  // Through the generic function type, which converts to and from every function pointer type.
  auto enable_non_client_dpi_scaling = reinterpret_cast<EnableNonClientDpiScalingFunction>(
      reinterpret_cast<void (*)()>(::GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable_non_client_dpi_scaling != nullptr) {
    enable_non_client_dpi_scaling(hwnd);
  }
  ::FreeLibrary(user32);
}

}  // namespace

int32_t Win32Window::live_window_count_ = 0;

Win32Window::Win32Window() {
  ++live_window_count_;
}

Win32Window::~Win32Window() {
  // Counted down first, so that the Destroy() below unregisters the class after the last object.
  --live_window_count_;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title,
                         const LogicalPoint& origin,
                         const LogicalSize& size) {
  Destroy();

  WindowClassRegistry::Get().EnsureRegistered(ClassWindowProc);

  const POINT unscaled_origin{origin.x, origin.y};
  HMONITOR monitor = ::MonitorFromPoint(unscaled_origin, MONITOR_DEFAULTTONEAREST);
  const UINT dpi = FlutterDesktopGetDpiForMonitor(monitor);

  HWND window = ::CreateWindowExW(
      0, kWindowClassName, title.c_str(), WS_OVERLAPPEDWINDOW, halvex::ScaleToDpi(origin.x, dpi),
      halvex::ScaleToDpi(origin.y, dpi), halvex::ScaleToDpi(size.width, dpi),
      halvex::ScaleToDpi(size.height, dpi), nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }

  halvex::ApplyThemePreference(window);
  return OnCreated();
}

bool Win32Window::Show() {
  return ::ShowWindow(window_, SW_SHOWNORMAL) != FALSE;
}

void Win32Window::Destroy() {
  OnDestroying();
  if (window_ != nullptr) {
    ::DestroyWindow(window_);
    window_ = nullptr;
  }
  if (live_window_count_ == 0) {
    WindowClassRegistry::Get().Unregister();
  }
}

void Win32Window::SetQuitWhenClosed(bool quit_when_closed) {
  quit_when_closed_ = quit_when_closed;
}

LRESULT CALLBACK Win32Window::ClassWindowProc(HWND hwnd,
                                              UINT message,
                                              WPARAM wparam,
                                              LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create_struct = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* owner = static_cast<Win32Window*>(create_struct->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    EnableFrameDpiScaling(hwnd);
    owner->window_ = hwnd;
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  // Messages sent before WM_NCCREATE (WM_GETMINMAXINFO first) find no owner yet.
  auto* owner = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (owner != nullptr) {
    return owner->HandleMessage(hwnd, message, wparam, lparam);
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      // The native window is going away on its own: forget it first so Destroy() runs the
      // destroy hook without destroying the window a second time.
      window_ = nullptr;
      Destroy();
      if (quit_when_closed_) {
        ::PostQuitMessage(0);
      }
      return 0;

    case WM_SIZE: {
      const RECT client = ClientRect();
      if (content_ != nullptr) {
        ::MoveWindow(content_, client.left, client.top, client.right - client.left,
                     client.bottom - client.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (content_ != nullptr) {
        ::SetFocus(content_);
      }
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      halvex::ApplyThemePreference(hwnd);
      return 0;

    default:
      return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

bool Win32Window::OnCreated() {
  return true;
}

void Win32Window::OnDestroying() {}

void Win32Window::SetContent(HWND content) {
  content_ = content;
  ::SetParent(content, window_);
  const RECT client = ClientRect();
  ::MoveWindow(content, client.left, client.top, client.right - client.left,
               client.bottom - client.top, TRUE);
  ::SetFocus(content);
}

RECT Win32Window::ClientRect() const {
  RECT client{};
  ::GetClientRect(window_, &client);
  return client;
}
