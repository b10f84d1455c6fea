#include "runner/close_requests.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "runner/win32_window.h"
#include "windows_testing/desktop.h"

namespace {

// Pumps this thread's messages until WM_QUIT or the time runs out; whether the quit came.
bool PumpUntilQuit(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  MSG message{};
  while (std::chrono::steady_clock::now() < deadline) {
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        return true;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

class CloseRequestsTest : public ::testing::Test {
 protected:
  halvex::testing::ScopedDesktop desktop_;
};

// Ctrl-C and Ctrl-Break close the window as its close button does; the loop then ends.
TEST_F(CloseRequestsTest, ConsoleControlEventsCloseTheWindow) {
  for (DWORD event : {static_cast<DWORD>(CTRL_C_EVENT), static_cast<DWORD>(CTRL_BREAK_EVENT)}) {
    SCOPED_TRACE(event);
    Win32Window window;
    ASSERT_TRUE(window.Create(L"Halvex", {10, 10}, {640, 360}));
    window.SetQuitWhenClosed(true);
    const halvex::ConsoleCloseRequests requests(window.window_handle());
    ASSERT_TRUE(::GenerateConsoleCtrlEvent(event, 0));
    EXPECT_TRUE(PumpUntilQuit(std::chrono::seconds(10)));
    EXPECT_EQ(window.window_handle(), nullptr);
  }
}

// Once the window has gone, an event is taken and ignored: the program goes on ending in its own
// time, and no other window is touched.
TEST_F(CloseRequestsTest, AfterTheWindowHasGoneEventsAreTakenAndIgnored) {
  { const halvex::ConsoleCloseRequests requests(nullptr); }
  Win32Window bystander;
  ASSERT_TRUE(bystander.Create(L"Other", {10, 10}, {640, 360}));
  ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  EXPECT_FALSE(PumpUntilQuit(std::chrono::milliseconds(200)));
  EXPECT_NE(bystander.window_handle(), nullptr);
}

}  // namespace
