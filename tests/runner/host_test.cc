#include "runner/host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/engine/engine_testing.h"
#include "runner/win32_window.h"
#include "runner_test_support.h"
#include "windows_testing/com.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

namespace engine_testing = halvex::engine_testing;
using halvex::testing::InspectWindow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr wchar_t kWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";

void ResetAll() {
  halvex::testing::ResetComModel();
  halvex::testing::ResetDesktop();
  halvex::testing::ResetFaults();
  engine_testing::ResetEngineTesting();
  // The engine runs, but no application closes the window behind the test's back.
  engine_testing::DisableApplication(true);
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetAll(); }
  void TearDown() override { engine_testing::ResetEngineTesting(); }

  halvex::testing::ScopedDesktop desktop_;
  halvex::testing::ScopedFaults faults_;
};

// A window of the test's own on the main thread. The host's loop dispatches its messages too; it
// notes the COM apartment they run in.
class ApartmentProbe {
 public:
  ApartmentProbe() {
    WNDCLASSW probe_class{};
    probe_class.lpfnWndProc = Procedure;
    probe_class.lpszClassName = L"RUNNER_TEST_APARTMENT_PROBE";
    ::RegisterClassW(&probe_class);
    window_ = ::CreateWindowExW(0, probe_class.lpszClassName, L"", 0, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  HWND window() const { return window_; }
  std::optional<halvex::testing::Apartment> seen() const { return seen_; }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* probe = reinterpret_cast<ApartmentProbe*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_APP && probe != nullptr) {
      probe->seen_ = halvex::testing::CurrentApartment();
      return 0;
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  std::optional<halvex::testing::Apartment> seen_;
};

// Plays the user: closes the host's window once it has been shown, from another thread as the
// desktop would, after poking the probe. Gives up (and closes the window anyway) after a generous
// wait so that a failure cannot hang the test.
class UserClosingTheWindow {
 public:
  explicit UserClosingTheWindow(HWND probe) : probe_(probe), thread_([this] { Run(); }) {}
  ~UserClosingTheWindow() { Join(); }

  // Waits for the user to be done; returns whether the window was seen shown before closing.
  bool Join() {
    if (thread_.joinable()) {
      thread_.join();
    }
    return saw_window_shown_;
  }

 private:
  void Run() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      for (HWND window : halvex::testing::WindowsOfClass(kWindowClass)) {
        const auto info = InspectWindow(window);
        if (info.has_value() && info->visible && !info->destroyed) {
          saw_window_shown_ = true;
          ::PostMessageW(probe_, WM_APP, 0, 0);
          ::PostMessageW(window, WM_CLOSE, 0, 0);
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (HWND window : halvex::testing::WindowsOfClass(kWindowClass)) {
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
  }

  const HWND probe_;
  std::atomic<bool> saw_window_shown_{false};
  std::thread thread_;
};

TEST_F(HostTest, RunsUntilTheWindowIsClosedAndExitsWithZero) {
  // A failing GetMessageW (-1) is dispatched like a message: the loop goes on.
  for (bool first_get_message_fails : {false, true}) {
    ResetAll();
    if (first_get_message_fails) {
      halvex::testing::FailCall("GetMessageW", E_FAIL, 1);
    }
    halvex::testing::SetCommandLine(L"C:\\Halvex\\halvex.exe --fast \"\" --output \"a b.mp4\"");
    const int32_t objects_before = Win32Window::live_window_count();

    ApartmentProbe probe;
    UserClosingTheWindow user(probe.window());
    const int exit_code = halvex::RunHost();
    EXPECT_TRUE(user.Join()) << first_get_message_fails;
    EXPECT_EQ(exit_code, 0);
    // The loop ran in a single-threaded apartment, which is left again after it.
    EXPECT_EQ(probe.seen(), halvex::testing::Apartment::kSingleThreaded);
    EXPECT_EQ(halvex::testing::CurrentApartmentInitCount(), 0);
    EXPECT_EQ(halvex::testing::UnbalancedUninitializeCalls(), 0);

    const std::vector<HWND> windows = halvex::testing::WindowsOfClass(kWindowClass);
    ASSERT_EQ(windows.size(), 1u);
    const auto info = InspectWindow(windows[0]);
    EXPECT_EQ(info->title, L"Halvex");
    EXPECT_EQ(info->window_rect, (RECT{10, 10, 1290, 730}));
    EXPECT_EQ(info->show_commands, std::vector<int>{SW_SHOWNORMAL});
    EXPECT_TRUE(info->destroyed);

    const engine_testing::RecordedEngineProperties properties =
        engine_testing::LastEngineProperties();
    EXPECT_EQ(properties.assets_path, L"data\\flutter_assets");
    EXPECT_EQ(properties.icu_data_path, L"data\\icudtl.dat");
    EXPECT_EQ(properties.aot_library_path, L"data\\app.so");
    EXPECT_THAT(properties.entrypoint_arguments, ElementsAre("--fast", "", "--output", "a b.mp4"));

    EXPECT_EQ(engine_testing::CallCounts().view_controller_destroy, 1);
    EXPECT_EQ(halvex::testing::CallCount("CoInitializeEx"), 1);
    // Torn down whole: no window object left, so the class went with the last one.
    EXPECT_EQ(Win32Window::live_window_count(), objects_before);
    EXPECT_FALSE(halvex::testing::InspectClass(kWindowClass).has_value());
    EXPECT_FALSE(halvex::testing::TakeQuitMessage());
  }
}

TEST_F(HostTest, ApplicationGetsNoArgumentsWhenThereAreNone) {
  halvex::testing::SetCommandLine(L"halvex.exe");
  ApartmentProbe probe;
  UserClosingTheWindow user(probe.window());
  EXPECT_EQ(halvex::RunHost(), 0);
  user.Join();
  const engine_testing::RecordedEngineProperties properties =
      engine_testing::LastEngineProperties();
  EXPECT_EQ(properties.entrypoint_argc, 0);
  EXPECT_TRUE(properties.entrypoint_argv_was_null);
}

TEST_F(HostTest, RefusedEngineExitsWithOneWithoutALoop) {
  engine_testing::FailViewControllerCreation(true);
  const int32_t objects_before = Win32Window::live_window_count();

  ::testing::internal::CaptureStderr();
  const int exit_code = halvex::RunHost();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(exit_code, 1);

  EXPECT_THAT(engine_testing::RegistrarRequests(), IsEmpty());
  EXPECT_THAT(engine_testing::ChannelRegistrations(), IsEmpty());
  EXPECT_EQ(halvex::testing::CallCount("GetMessageW"), 0);
  // The apartment is left to the end of the process on this path.
  EXPECT_EQ(halvex::testing::CurrentApartment(), halvex::testing::Apartment::kSingleThreaded);
  EXPECT_EQ(halvex::testing::CurrentApartmentInitCount(), 1);
  ::CoUninitialize();
  const std::vector<HWND> windows = halvex::testing::WindowsOfClass(kWindowClass);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_TRUE(InspectWindow(windows[0])->destroyed);
  EXPECT_TRUE(InspectWindow(windows[0])->show_commands.empty());
  EXPECT_EQ(Win32Window::live_window_count(), objects_before);
  EXPECT_FALSE(halvex::testing::InspectClass(kWindowClass).has_value());
}

}  // namespace
