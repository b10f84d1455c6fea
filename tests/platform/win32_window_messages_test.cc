// What the desktop model records of its windows and classes, which tests of the product inspect:
// refused and destroyed windows, live-window counts, show commands, user data and icons, and a
// failure injected into window creation. How the windows behave is held to Windows by the
// system-behaviour tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::InspectClass;
using halvex::testing::InspectWindow;
using halvex::testing::ScopedDesktop;
using halvex::testing::TestWindowClass;
using ::testing::ElementsAre;

struct RecordCase {
  const char* name;
  DWORD style;
  bool with_parent;
  std::map<UINT, LRESULT> answers;
  bool created;
};

TEST(Win32WindowCreation, EveryAttemptLeavesARecordAndCountsOnlyLiveWindows) {
  const RecordCase cases[] = {
      {"overlapped", WS_OVERLAPPEDWINDOW, false, {}, true},
      {"child", WS_CHILD, true, {}, true},
      {"WM_NCCREATE refuses", WS_OVERLAPPEDWINDOW, false, {{WM_NCCREATE, FALSE}}, false},
      {"WM_CREATE refuses", WS_OVERLAPPEDWINDOW, false, {{WM_CREATE, -1}}, false},
  };
  for (const RecordCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND parent = test.with_parent ? window_class.Create(WS_POPUP, {0, 0, 100, 100}) : nullptr;
    window_class.answers = test.answers;

    HWND window = window_class.Create(test.style, {10, 10, 110, 60}, parent);

    EXPECT_EQ(window != nullptr, test.created);
    const std::vector<HWND> all = halvex::testing::AllWindows();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(InspectWindow(all.back())->destroyed, !test.created);
    EXPECT_EQ(InspectClass(TestWindowClass::kName)->live_windows,
              (test.created ? 1 : 0) + (parent != nullptr ? 1 : 0));
  }
}

TEST(Win32WindowCreation, FailedCallsLeaveNoWindowBehind) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  EXPECT_EQ(CreateWindowExW(0, L"NO_SUCH_CLASS", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            nullptr, nullptr),
            nullptr);
  EXPECT_EQ(window_class.Create(WS_CHILD, {0, 0, 10, 10}), nullptr);
  EXPECT_EQ(window_class.Create(WS_CHILD, {0, 0, 10, 10},
                                reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7777770))),
            nullptr);
  EXPECT_TRUE(halvex::testing::AllWindows().empty());
}

TEST(Win32WindowDestruction, DestroyingAParentLeavesNoLiveWindowOfTheClass) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND first = window_class.Create(WS_CHILD, {0, 0, 50, 50}, parent);
  window_class.Create(WS_CHILD, {0, 0, 10, 10}, first);
  window_class.Create(WS_CHILD, {60, 0, 110, 50}, parent);
  ASSERT_EQ(InspectClass(TestWindowClass::kName)->live_windows, 4);

  EXPECT_TRUE(DestroyWindow(parent));

  EXPECT_EQ(InspectClass(TestWindowClass::kName)->live_windows, 0);
}

TEST(Win32WindowState, ShowCommandsAreRecordedInOrder) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  for (int command : {SW_HIDE, SW_SHOWNORMAL, SW_SHOW, SW_HIDE, SW_SHOWNA}) {
    ShowWindow(window, command);
  }
  EXPECT_THAT(InspectWindow(window)->show_commands,
              ElementsAre(SW_HIDE, SW_SHOWNORMAL, SW_SHOW, SW_HIDE, SW_SHOWNA));
}

TEST(Win32WindowState, UserDataIsRecorded) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  SetWindowLongPtrW(window, GWLP_USERDATA, 42);
  SetWindowLongPtrW(window, GWLP_USERDATA, 7);
  EXPECT_EQ(InspectWindow(window)->user_data, 7);
}

TEST(Win32WindowClasses, IconsOfTheExecutableAreShared) {
  ScopedDesktop desktop;
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), L"#101"), icon);
  EXPECT_EQ(halvex::testing::InspectResource(icon)->id, 101);
}

TEST(Win32WindowFaults, InjectedFailureFailsTheWindowsWay) {
  ScopedDesktop desktop;
  halvex::testing::ScopedFaults faults;
  TestWindowClass window_class;
  halvex::testing::FailCall("CreateWindowExW", E_ACCESSDENIED, 1);
  SetLastError(0);

  EXPECT_EQ(window_class.Create(WS_POPUP, {0, 0, 10, 10}), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(halvex::testing::AllWindows().empty());
  EXPECT_TRUE(window_class.log.empty());
  // Only the armed call fails.
  EXPECT_NE(window_class.Create(WS_POPUP, {0, 0, 10, 10}), nullptr);
  EXPECT_EQ(halvex::testing::CallCount("CreateWindowExW"), 2);
}

}  // namespace
