// Visibility, focus and per-window data as the system keeps them, on Windows and on the desktop
// model alike.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "tests/platform/win32_test_window.h"
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

using ::testing::ElementsAre;

TEST(SystemWindowState, ShowWindowReportsThePreviousVisibility) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  std::vector<WPARAM> show_messages;
  window_class.on_message = [&](HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
    if (hwnd == window && message == WM_SHOWWINDOW) {
      show_messages.push_back(wparam);
    }
  };
  struct Step {
    int command;
    BOOL previous;
    bool visible_after;
  } const steps[] = {
      {SW_HIDE, FALSE, false}, {SW_SHOWNORMAL, FALSE, true}, {SW_SHOW, TRUE, true},
      {SW_HIDE, TRUE, false},  {SW_SHOWNA, FALSE, true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.command);
    const BOOL previous = ShowWindow(window, step.command);
    EXPECT_EQ(previous != FALSE, step.previous != FALSE);
    // Windows promises only some nonzero value; the model answers TRUE.
    if (RunsOnTheDesktopModel()) {
      EXPECT_EQ(previous, step.previous);
    }
    EXPECT_EQ(IsWindowVisible(window) != FALSE, step.visible_after);
  }
  // WM_SHOWWINDOW only when the visibility changes.
  EXPECT_THAT(show_messages, ElementsAre(TRUE, FALSE, TRUE));
}

TEST(SystemWindowState, ChildIsVisibleOnlyWithItsParent) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND child = window_class.Create(WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, parent);
  EXPECT_FALSE(IsWindowVisible(child));
  ShowWindow(parent, SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(child));
}

TEST(SystemWindowState, FocusMovesWithKillAndSetFocus) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_POPUP, {0, 0, 400, 300});
  HWND first = window_class.Create(WS_CHILD, {0, 0, 10, 10}, parent);
  HWND second = window_class.Create(WS_CHILD, {0, 0, 10, 10}, parent);
  const HWND focused_before = SetFocus(first);
  // Windows may already have focused a window of its own choosing; the model focuses none unasked.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(focused_before, nullptr);
  }
  ASSERT_EQ(GetFocus(), first);
  std::vector<LoggedMessage> focus_messages;
  window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
      focus_messages.push_back({hwnd, message});
    }
  };

  EXPECT_EQ(SetFocus(second), first);
  EXPECT_EQ(SetFocus(second), second);  // Already there: nothing is sent.

  EXPECT_THAT(focus_messages,
              ElementsAre(LoggedMessage{first, WM_KILLFOCUS}, LoggedMessage{second, WM_SETFOCUS}));
  EXPECT_EQ(GetFocus(), second);
  DestroyWindow(second);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST(SystemWindowState, UserDataAndUnknownIndices) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 7), 42);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 7);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(window, 64), 0);  // The class has no window extra bytes.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

}  // namespace
}  // namespace halvex::testing
