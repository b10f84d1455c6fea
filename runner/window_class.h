// The window class that every top-level window of the program belongs to.
#ifndef HALVEX_RUNNER_WINDOW_CLASS_H_
#define HALVEX_RUNNER_WINDOW_CLASS_H_

#include <windows.h>

// "FLUTTER_RUNNER_WIN32_WINDOW", the class name other programs may look windows up by.
extern const wchar_t kWindowClassName[];

// Whether this process has registered the window class. One record per process, created on first
// use and used only from the thread that owns the windows.
class WindowClassRegistry {
 public:
  static WindowClassRegistry& Get();

  WindowClassRegistry(const WindowClassRegistry&) = delete;
  WindowClassRegistry& operator=(const WindowClassRegistry&) = delete;

  // Registers the class with `window_procedure` unless this process already did. A failed
  // registration is not detected here: creating a window of the class fails instead.
  void EnsureRegistered(WNDPROC window_procedure);

  // Unregisters the class and forgets that it was registered.
  void Unregister();

  bool registered() const { return registered_; }

 private:
  WindowClassRegistry() = default;

  bool registered_ = false;
};

#endif  // HALVEX_RUNNER_WINDOW_CLASS_H_
