// Helpers for running the engine stand-in in a test: the test thread is the platform thread,
// with a top-level window to hold the engine's view and a message loop with a deadline.
#ifndef HALVEX_TESTS_ENGINE_HOST_ENGINE_TEST_SUPPORT_H_
#define HALVEX_TESTS_ENGINE_HOST_ENGINE_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_host/engine_library_windows.h"

namespace halvex::testing {

// Where the test application library lies, relative to the test executable.
inline constexpr wchar_t kTestApplicationPath[] = L"engine_test_data\\app.so";

// A hidden top-level window that records WM_CLOSE instead of closing.
class TopLevelWindow {
 public:
  TopLevelWindow();
  ~TopLevelWindow();
  TopLevelWindow(const TopLevelWindow&) = delete;
  TopLevelWindow& operator=(const TopLevelWindow&) = delete;

  HWND handle() const { return handle_; }
  int close_requests() const { return close_requests_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND handle_ = nullptr;
  int close_requests_ = 0;
};

// Creates an engine for `application_path` with `arguments` through the library's own
// properties record.
FlutterDesktopEngineRef CreateEngine(const std::wstring& application_path,
                                     const std::vector<std::string>& arguments);

// Dispatches this thread's messages until `done` holds, or gives up after a few seconds and
// returns false.
bool PumpMessagesUntil(const std::function<bool()>& done);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_ENGINE_HOST_ENGINE_TEST_SUPPORT_H_
