// The program's top-level window: a native window sized in logical units and scaled to the DPI of
// its monitor, following the user's app theme, with one content child filling its client area.
#ifndef HALVEX_RUNNER_WIN32_WINDOW_H_
#define HALVEX_RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <cstdint>
#include <string>

// A position in logical (96-dpi) units.
struct LogicalPoint {
  int32_t x;
  int32_t y;
};

// A size in logical (96-dpi) units.
struct LogicalSize {
  int32_t width;
  int32_t height;
};

// Owns at most one native window of the class "FLUTTER_RUNNER_WIN32_WINDOW". The window is
// created hidden; a derived class shows it when it has something to show. Objects belong to the
// thread that runs the message loop.
class Win32Window {
 public:
  Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;
  virtual ~Win32Window();

  // Creates the native window at `origin` with outer size `size`, both scaled from 96 dpi to the
  // DPI of the monitor nearest to `origin`. Destroys a native window held before. Returns false
  // when no window could be created or when OnCreated() fails.
  bool Create(const std::wstring& title, const LogicalPoint& origin, const LogicalSize& size);

  // Shows the window in its normal state; returns whether it was visible before.
  bool Show();

  // Runs OnDestroying(), destroys the native window if there is one, and unregisters the window
  // class once no window object is left.
  void Destroy();

  // When set, destroying the native window ends the thread's message loop.
  void SetQuitWhenClosed(bool quit_when_closed);

  // The native window, or null before Create() and after destruction.
  HWND window_handle() const { return window_; }

  // How many window objects exist in this process.
  static int32_t live_window_count() { return live_window_count_; }

 protected:
  // Handles the messages the window reacts to and passes every other to DefWindowProcW.
  // Derived classes override it and fall back to this one.
  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  // Called at the end of Create(); its result becomes the result of Create().
  virtual bool OnCreated();

  // Called first thing in Destroy(), while the native window may still exist.
  virtual void OnDestroying();

  // Makes `content` a child that fills the client area and has the focus.
  void SetContent(HWND content);

  RECT ClientRect() const;

 private:
  // The procedure of the window class: routes each message to the object that owns the window.
  static LRESULT CALLBACK ClassWindowProc(HWND hwnd,
                                          UINT message,
                                          WPARAM wparam,
                                          LPARAM lparam) noexcept;

  static int32_t live_window_count_;

  bool quit_when_closed_ = false;
  HWND window_ = nullptr;
  HWND content_ = nullptr;
};

#endif  // HALVEX_RUNNER_WIN32_WINDOW_H_
