#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::InspectWindow;
using halvex::testing::LoggedMessage;
using halvex::testing::ScopedDesktop;
using halvex::testing::TestWindowClass;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct CreationCase {
  const char* name;
  DWORD style;
  bool with_parent;
  std::map<UINT, LRESULT> answers;
  bool created;
  std::vector<UINT> messages;
};

TEST(Win32WindowCreation, SendsWindowsMessagesInOrder) {
  const CreationCase cases[] = {
      {"overlapped",
       WS_OVERLAPPEDWINDOW,
       false,
       {},
       true,
       {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}},
      {"child: no size limits asked",
       WS_CHILD,
       true,
       {},
       true,
       {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE}},
      {"visible pop-up: shown and activated after WM_MOVE",
       WS_POPUP | WS_VISIBLE,
       false,
       {},
       true,
       {WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE,
        WM_SETFOCUS}},
      {"WM_NCCREATE refuses: only WM_NCDESTROY follows",
       WS_OVERLAPPEDWINDOW,
       false,
       {{WM_NCCREATE, FALSE}},
       false,
       {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCDESTROY}},
      {"WM_CREATE refuses: the window is destroyed",
       WS_OVERLAPPEDWINDOW,
       false,
       {{WM_CREATE, -1}},
       false,
       {WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}},
  };
  for (const CreationCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND parent = test.with_parent ? window_class.Create(WS_POPUP, {0, 0, 100, 100}) : nullptr;
    window_class.log.clear();
    window_class.answers = test.answers;

    HWND window = window_class.Create(test.style, {10, 10, 110, 60}, parent);

    EXPECT_EQ(window != nullptr, test.created);
    const std::vector<HWND> all = halvex::testing::AllWindows();
    ASSERT_FALSE(all.empty());
    EXPECT_THAT(window_class.MessagesOf(all.back()), ElementsAreArray(test.messages));
    EXPECT_EQ(InspectWindow(all.back())->destroyed, !test.created);
    EXPECT_EQ(IsWindow(all.back()) != FALSE, test.created);
    EXPECT_EQ(halvex::testing::InspectClass(TestWindowClass::kName)->live_windows,
              (test.created ? 1 : 0) + (parent != nullptr ? 1 : 0));
  }
}

TEST(Win32WindowCreation, CreationFailuresReportTheirError) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  struct Case {
    const char* name;
    LPCWSTR class_name;
    DWORD style;
    HWND parent;
    DWORD error;
  } const cases[] = {
      {"unknown class", L"NO_SUCH_CLASS", WS_POPUP, nullptr, ERROR_CANNOT_FIND_WND_CLASS},
      {"child without parent", TestWindowClass::kName, WS_CHILD, nullptr, ERROR_TLW_WITH_WSCHILD},
      {"parent that does not exist", TestWindowClass::kName, WS_CHILD,
       reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7777770)), ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, test.class_name, L"", test.style, 0, 0, 10, 10, test.parent,
                              nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), test.error);
  }
  EXPECT_TRUE(halvex::testing::AllWindows().empty());
}

TEST(Win32WindowDestruction, ParentHearsFirstAndLast) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND first = window_class.Create(WS_CHILD, {0, 0, 50, 50}, parent);
  HWND grandchild = window_class.Create(WS_CHILD, {0, 0, 10, 10}, first);
  HWND second = window_class.Create(WS_CHILD, {60, 0, 110, 50}, parent);
  // While the parent handles WM_DESTROY its children still exist.
  bool children_alive_in_destroy = false;
  window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (hwnd == parent && message == WM_DESTROY) {
      children_alive_in_destroy = IsWindow(first) && IsWindow(second) && IsWindow(grandchild);
    }
  };
  window_class.log.clear();

  EXPECT_TRUE(DestroyWindow(parent));

  EXPECT_THAT(
      window_class.log,
      ElementsAre(LoggedMessage{parent, WM_DESTROY}, LoggedMessage{first, WM_DESTROY},
                  LoggedMessage{grandchild, WM_DESTROY}, LoggedMessage{second, WM_DESTROY},
                  LoggedMessage{second, WM_NCDESTROY}, LoggedMessage{grandchild, WM_NCDESTROY},
                  LoggedMessage{first, WM_NCDESTROY}, LoggedMessage{parent, WM_NCDESTROY}));
  EXPECT_TRUE(children_alive_in_destroy);
  for (HWND window : {parent, first, grandchild, second}) {
    EXPECT_FALSE(IsWindow(window));
  }
  EXPECT_EQ(halvex::testing::InspectClass(TestWindowClass::kName)->live_windows, 0);
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Win32WindowDestruction, ChildDestroyedDuringParentsDestroyIsDestroyedOnce) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND child = window_class.Create(WS_CHILD, {0, 0, 50, 50}, parent);
  window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (hwnd == parent && message == WM_DESTROY) {
      DestroyWindow(child);
    }
  };
  window_class.log.clear();

  EXPECT_TRUE(DestroyWindow(parent));

  EXPECT_THAT(window_class.MessagesOf(child), ElementsAre(WM_DESTROY, WM_NCDESTROY));
  EXPECT_THAT(window_class.MessagesOf(parent), ElementsAre(WM_DESTROY, WM_NCDESTROY));
}

TEST(Win32WindowDestruction, CloseDestroysAndPostedMessagesAreDropped) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  ASSERT_TRUE(PostMessageW(window, WM_APP, 0, 0));

  SendMessageW(window, WM_CLOSE, 0, 0);

  EXPECT_FALSE(IsWindow(window));
  MSG message{};
  EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

struct GeometryCase {
  const char* name;
  DWORD style;
  DWORD ex_style;
  bool child;
  RECT rect;
  RECT expected_window;  // Screen coordinates.
  RECT expected_client;
};

TEST(Win32WindowGeometry, FrameMakesTheClientAreaSmaller) {
  // The parent of the child cases: an overlapped window at (10, 10), whose client area starts
  // 8 pixels right and 8 + 23 pixels down.
  const GeometryCase cases[] = {
      {"overlapped window",
       WS_OVERLAPPEDWINDOW,
       0,
       false,
       {10, 10, 1290, 730},
       {10, 10, 1290, 730},
       {0, 0, 1264, 681}},
      {"pop-up without border",
       WS_POPUP,
       0,
       false,
       {5, 5, 305, 205},
       {5, 5, 305, 205},
       {0, 0, 300, 200}},
      {"pop-up with border",
       WS_POPUP | WS_BORDER,
       0,
       false,
       {0, 0, 300, 200},
       {0, 0, 300, 200},
       {0, 0, 298, 198}},
      {"pop-up with caption",
       WS_POPUP | WS_CAPTION,
       0,
       false,
       {0, 0, 300, 200},
       {0, 0, 300, 200},
       {0, 0, 294, 171}},
      {"overlapped without frame styles gets a caption",
       WS_OVERLAPPED,
       0,
       false,
       {0, 0, 300, 200},
       {0, 0, 300, 200},
       {0, 0, 294, 171}},
      {"child without border",
       WS_CHILD,
       0,
       true,
       {5, 6, 105, 56},
       {23, 47, 123, 97},
       {0, 0, 100, 50}},
      {"child with border and client edge",
       WS_CHILD | WS_BORDER,
       WS_EX_CLIENTEDGE,
       true,
       {0, 0, 100, 50},
       {18, 41, 118, 91},
       {0, 0, 94, 44}},
  };
  for (const GeometryCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND parent =
        test.child ? window_class.Create(WS_OVERLAPPEDWINDOW, {10, 10, 1290, 730}) : nullptr;
    HWND window = window_class.Create(test.style, test.rect, parent, test.ex_style);
    ASSERT_NE(window, nullptr);
    RECT window_rect{};
    RECT client_rect{};
    ASSERT_TRUE(GetWindowRect(window, &window_rect));
    ASSERT_TRUE(GetClientRect(window, &client_rect));
    EXPECT_EQ(window_rect.left, test.expected_window.left);
    EXPECT_EQ(window_rect.top, test.expected_window.top);
    EXPECT_EQ(window_rect.right, test.expected_window.right);
    EXPECT_EQ(window_rect.bottom, test.expected_window.bottom);
    EXPECT_EQ(client_rect.left, 0);
    EXPECT_EQ(client_rect.top, 0);
    EXPECT_EQ(client_rect.right, test.expected_client.right);
    EXPECT_EQ(client_rect.bottom, test.expected_client.bottom);
  }
}

TEST(Win32WindowGeometry, ProcedureThatKeepsTheWholeRectangleHasNoFrame) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  window_class.answers[WM_NCCALCSIZE] = 0;  // Handled without DefWindowProcW.
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 640, 480});
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
}

struct MoveCase {
  const char* name;
  int x, y, width, height;
  UINT flags;
  std::vector<UINT> messages;  // WM_MOVE and WM_SIZE only.
  LPARAM size;                 // Of the WM_SIZE, if any.
};

TEST(Win32WindowGeometry, SetWindowPosSendsMoveAndSizeOnlyForChanges) {
  // The child starts at (10, 20) with 100 x 50.
  const MoveCase cases[] = {
      {"same place and size", 10, 20, 100, 50, SWP_NOZORDER, {}, 0},
      {"moved", 30, 40, 100, 50, SWP_NOZORDER, {WM_MOVE}, 0},
      {"resized", 10, 20, 120, 60, SWP_NOZORDER, {WM_SIZE}, MAKELPARAM(120, 60)},
      {"moved and resized", 0, 0, 200, 100, SWP_NOZORDER, {WM_MOVE, WM_SIZE}, MAKELPARAM(200, 100)},
      {"size ignored", 10, 20, 999, 999, SWP_NOZORDER | SWP_NOSIZE, {}, 0},
      {"position ignored", 99, 99, 100, 50, SWP_NOZORDER | SWP_NOMOVE, {}, 0},
      {"negative size is empty", 10, 20, -5, -5, SWP_NOZORDER, {WM_SIZE}, MAKELPARAM(0, 0)},
  };
  for (const MoveCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND parent = window_class.Create(WS_POPUP, {0, 0, 800, 600});
    HWND child = window_class.Create(WS_CHILD, {10, 20, 110, 70}, parent);
    halvex::testing::ClearMessages(child);

    ASSERT_TRUE(SetWindowPos(child, nullptr, test.x, test.y, test.width, test.height, test.flags));

    std::vector<UINT> messages;
    LPARAM size = 0;
    const std::vector<halvex::testing::ReceivedMessage> received = InspectWindow(child)->messages;
    for (const auto& message : received) {
      if (message.message == WM_SIZE || message.message == WM_MOVE) {
        messages.push_back(message.message);
      }
      if (message.message == WM_SIZE) {
        size = message.lparam;
      }
    }
    EXPECT_THAT(messages, ElementsAreArray(test.messages));
    EXPECT_EQ(size, test.size);
  }
}

TEST(Win32WindowGeometry, MoveWindowTracksTheClientArea) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  ASSERT_TRUE(MoveWindow(window, 50, 60, 816, 639, TRUE));
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  const auto messages = InspectWindow(window)->messages;
  ASSERT_GE(messages.size(), 2u);
  const auto& move = messages[messages.size() - 2];
  EXPECT_EQ(move.message, static_cast<UINT>(WM_MOVE));
  EXPECT_EQ(move.lparam, MAKELPARAM(58, 91));  // The client area's corner.
  EXPECT_EQ(messages.back().message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(messages.back().lparam, MAKELPARAM(800, 600));
}

TEST(Win32WindowState, ShowWindowReportsThePreviousVisibility) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
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
    EXPECT_EQ(ShowWindow(window, step.command), step.previous);
    EXPECT_EQ(IsWindowVisible(window) != FALSE, step.visible_after);
  }
  EXPECT_THAT(InspectWindow(window)->show_commands,
              ElementsAre(SW_HIDE, SW_SHOWNORMAL, SW_SHOW, SW_HIDE, SW_SHOWNA));
  // WM_SHOWWINDOW only when the visibility changes.
  std::vector<WPARAM> show_messages;
  const std::vector<halvex::testing::ReceivedMessage> received = InspectWindow(window)->messages;
  for (const auto& message : received) {
    if (message.message == WM_SHOWWINDOW) {
      show_messages.push_back(message.wparam);
    }
  }
  EXPECT_THAT(show_messages, ElementsAre(TRUE, FALSE, TRUE));
}

TEST(Win32WindowState, ChildIsVisibleOnlyWithItsParent) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND child = window_class.Create(WS_CHILD | WS_VISIBLE, {0, 0, 10, 10}, parent);
  EXPECT_FALSE(IsWindowVisible(child));
  ShowWindow(parent, SW_SHOWNORMAL);
  EXPECT_TRUE(IsWindowVisible(child));
}

TEST(Win32WindowState, FocusMovesWithKillAndSetFocus) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_POPUP, {0, 0, 400, 300});
  HWND first = window_class.Create(WS_CHILD, {0, 0, 10, 10}, parent);
  HWND second = window_class.Create(WS_CHILD, {0, 0, 10, 10}, parent);
  EXPECT_EQ(SetFocus(first), nullptr);
  window_class.log.clear();

  EXPECT_EQ(SetFocus(second), first);
  EXPECT_EQ(SetFocus(second), second);  // Already there: nothing is sent.

  EXPECT_THAT(window_class.log,
              ElementsAre(LoggedMessage{first, WM_KILLFOCUS}, LoggedMessage{second, WM_SETFOCUS}));
  EXPECT_EQ(GetFocus(), second);
  DestroyWindow(second);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST(Win32WindowState, ReparentedChildKeepsItsCoordinatesInTheNewParent) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND host = window_class.Create(WS_OVERLAPPEDWINDOW, {100, 100, 500, 400});
  HWND view = window_class.Create(WS_CHILD, {0, 0, 50, 40}, HWND_MESSAGE);
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(IsWindowVisible(view));

  EXPECT_NE(SetParent(view, host), nullptr);

  EXPECT_EQ(GetAncestor(view, GA_ROOT), host);
  EXPECT_EQ(GetAncestor(view, GA_PARENT), host);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(view, &rect));
  EXPECT_EQ(rect.left, 108);
  EXPECT_EQ(rect.top, 131);
  SetLastError(0);
  EXPECT_EQ(SetParent(host, view), nullptr);  // Not under its own descendant.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Win32WindowState, UserDataAndUnknownIndices) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 42), 0);
  EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, 7), 42);
  EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 7);
  EXPECT_EQ(InspectWindow(window)->user_data, 7);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(window, 64), 0);  // The class has no window extra bytes.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
}

struct UnregisterCase {
  const char* name;
  bool window_alive;
  LPCWSTR class_name;
  HINSTANCE instance;
  BOOL result;
  DWORD error;
};

TEST(Win32WindowClasses, UnregisteringFollowsWindowsRules) {
  const UnregisterCase cases[] = {
      {"a window of the class exists", true, TestWindowClass::kName, nullptr, FALSE,
       ERROR_CLASS_HAS_WINDOWS},
      {"no window left; null instance is the executable", false, TestWindowClass::kName, nullptr,
       TRUE, 0},
      {"name in other case", false, L"halvex_test_window", nullptr, TRUE, 0},
      {"unknown class", false, L"NOT_REGISTERED", nullptr, FALSE, ERROR_CLASS_DOES_NOT_EXIST},
  };
  for (const UnregisterCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
    if (!test.window_alive) {
      DestroyWindow(window);
    }
    SetLastError(0);
    EXPECT_EQ(UnregisterClassW(test.class_name, test.instance), test.result);
    EXPECT_EQ(GetLastError(), test.error);
    EXPECT_EQ(halvex::testing::InspectClass(TestWindowClass::kName).has_value(), !test.result);
  }
}

TEST(Win32WindowClasses, RegisteringTwiceFailsAndIconsAreShared) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  ASSERT_NE(window_class.atom(), 0);
  WNDCLASSW again{};
  again.lpfnWndProc = &DefWindowProcW;
  again.lpszClassName = L"Halvex_Test_Window";
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), L"#101"), icon);
  EXPECT_EQ(halvex::testing::InspectResource(icon)->id, 101);
  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  SetLastError(0);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(101)), nullptr);  // Not a predefined cursor.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
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
