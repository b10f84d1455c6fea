// Window creation and destruction as the system performs them: the order of the messages a
// window procedure sees, refusals from WM_NCCREATE and WM_CREATE, and the errors of failed calls.
// The same tables run against Windows (under Wine here) and against the desktop model. Windows
// sends more messages than the model imitates; there only those the model sends are compared,
// while on the model every message counts, so that it sends no others.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const UINT kModelledMessages[] = {WM_GETMINMAXINFO, WM_NCCREATE,  WM_NCCALCSIZE, WM_CREATE,
                                  WM_SIZE,          WM_MOVE,      WM_SHOWWINDOW, WM_ACTIVATE,
                                  WM_SETFOCUS,      WM_KILLFOCUS, WM_DESTROY,    WM_NCDESTROY};

bool Modelled(UINT message) {
  return RunsOnTheDesktopModel() ||
         std::find(std::begin(kModelledMessages), std::end(kModelledMessages), message) !=
             std::end(kModelledMessages);
}

std::vector<LoggedMessage> ModelledOnly(const std::vector<LoggedMessage>& log) {
  std::vector<LoggedMessage> kept;
  std::copy_if(log.begin(), log.end(), std::back_inserter(kept),
               [](const LoggedMessage& entry) { return Modelled(entry.message); });
  return kept;
}

std::vector<UINT> ModelledMessagesOf(const TestWindowClass& window_class, HWND window) {
  std::vector<UINT> kept;
  for (UINT message : window_class.MessagesOf(window)) {
    if (Modelled(message)) {
      kept.push_back(message);
    }
  }
  return kept;
}

struct CreationCase {
  const char* name;
  DWORD style;
  bool with_parent;
  std::map<UINT, LRESULT> answers;
  bool created;
  std::vector<UINT> messages;  // as the model sends them
};

// Where the model departs from Windows, the messages Windows sends instead.
std::vector<UINT> OnThisSystem(const CreationCase& test) {
  std::vector<UINT> messages = test.messages;
  auto drop = [&messages](UINT message) {
    messages.erase(std::remove(messages.begin(), messages.end(), message), messages.end());
  };
  // Windows sends an overlapped window its first WM_SIZE and WM_MOVE when it is first shown; the
  // model sends them at creation, as for other windows.
  if (!RunsOnTheDesktopModel() && (test.style & (WS_CHILD | WS_POPUP)) == 0) {
    drop(WM_SIZE);
    drop(WM_MOVE);
  }
  // Wine frees a window refused by WM_CREATE without WM_DESTROY; Windows destroys it.
  if (RunsUnderWine() && test.answers.count(WM_CREATE) != 0) {
    drop(WM_DESTROY);
  }
  return messages;
}

TEST(SystemWindowCreation, SendsWindowsMessagesInOrder) {
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
    SystemProbeScope scope;
    TestWindowClass window_class;
    HWND parent = test.with_parent ? window_class.Create(WS_POPUP, {0, 0, 100, 100}) : nullptr;
    window_class.log.clear();
    window_class.answers = test.answers;

    HWND window = window_class.Create(test.style, {10, 10, 110, 60}, parent);

    EXPECT_EQ(window != nullptr, test.created);
    // The new window is the first to hear anything; its parent hears of it only afterwards.
    ASSERT_FALSE(window_class.log.empty());
    const HWND created = window_class.log.front().hwnd;
    EXPECT_THAT(ModelledMessagesOf(window_class, created), ElementsAreArray(OnThisSystem(test)));
    EXPECT_EQ(IsWindow(created) != FALSE, test.created);
  }
}

TEST(SystemWindowCreation, CreationFailuresReportTheirError) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  struct Case {
    const char* name;
    LPCWSTR class_name;
    DWORD style;
    HWND parent;
    DWORD error;
  } const cases[] = {
      // Wine answers ERROR_CLASS_DOES_NOT_EXIST, the error of UnregisterClassW.
      {"unknown class", L"NO_SUCH_CLASS", WS_POPUP, nullptr,
       RunsUnderWine() ? static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST)
                       : static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS)},
      {"child without parent", TestWindowClass::kName, WS_CHILD, nullptr, ERROR_TLW_WITH_WSCHILD},
      {"parent that does not exist", TestWindowClass::kName, WS_CHILD,
       reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7777770)), ERROR_INVALID_WINDOW_HANDLE},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, test.class_name, L"", test.style, 0, 0, 10, 10, test.parent,
                              nullptr, GetModuleHandleW(nullptr), nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), test.error);
  }
  EXPECT_TRUE(window_class.log.empty());
}

TEST(SystemWindowDestruction, ParentHearsFirstAndLast) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND parent = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  HWND first = window_class.Create(WS_CHILD, {0, 0, 50, 50}, parent);
  HWND grandchild = window_class.Create(WS_CHILD, {0, 0, 10, 10}, first);
  HWND second = window_class.Create(WS_CHILD, {60, 0, 110, 50}, parent);
  bool children_alive_in_destroy = false;
  window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (hwnd == parent && message == WM_DESTROY) {
      children_alive_in_destroy = IsWindow(first) && IsWindow(second) && IsWindow(grandchild);
    }
  };
  window_class.log.clear();

  EXPECT_TRUE(DestroyWindow(parent));

  // WM_NCDESTROY reaches every child before its parent; the order among siblings is not
  // documented, and Wine goes from the first child where the model goes from the last.
  const LoggedMessage wine_order[] = {{parent, WM_DESTROY},       {first, WM_DESTROY},
                                      {grandchild, WM_DESTROY},   {second, WM_DESTROY},
                                      {grandchild, WM_NCDESTROY}, {first, WM_NCDESTROY},
                                      {second, WM_NCDESTROY},     {parent, WM_NCDESTROY}};
  const LoggedMessage model_order[] = {{parent, WM_DESTROY},     {first, WM_DESTROY},
                                       {grandchild, WM_DESTROY}, {second, WM_DESTROY},
                                       {second, WM_NCDESTROY},   {grandchild, WM_NCDESTROY},
                                       {first, WM_NCDESTROY},    {parent, WM_NCDESTROY}};
  if (RunsUnderWine()) {
    EXPECT_THAT(ModelledOnly(window_class.log), ElementsAreArray(wine_order));
  } else {
    EXPECT_THAT(ModelledOnly(window_class.log), ElementsAreArray(model_order));
  }
  EXPECT_TRUE(children_alive_in_destroy);
  for (HWND window : {parent, first, grandchild, second}) {
    EXPECT_FALSE(IsWindow(window));
  }
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(parent));
  // Wine answers ERROR_ACCESS_DENIED for a handle it has freed.
  EXPECT_EQ(GetLastError(), RunsUnderWine() ? static_cast<DWORD>(ERROR_ACCESS_DENIED)
                                            : static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(SystemWindowDestruction, ChildDestroyedDuringParentsDestroyIsDestroyedOnce) {
  SystemProbeScope scope;
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

  EXPECT_THAT(ModelledMessagesOf(window_class, child), ElementsAre(WM_DESTROY, WM_NCDESTROY));
  EXPECT_THAT(ModelledMessagesOf(window_class, parent), ElementsAre(WM_DESTROY, WM_NCDESTROY));
}

TEST(SystemWindowDestruction, CloseDestroysAndPostedMessagesAreDropped) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  ASSERT_TRUE(PostMessageW(window, WM_APP, 0, 0));

  SendMessageW(window, WM_CLOSE, 0, 0);

  EXPECT_FALSE(IsWindow(window));
  MSG message{};
  bool any_message_left = false;
  bool posted_message_left = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    any_message_left = true;
    posted_message_left = posted_message_left || message.message == WM_APP;
  }
  EXPECT_FALSE(posted_message_left);
  // Windows may queue messages of its own; the model queues none.
  if (RunsOnTheDesktopModel()) {
    EXPECT_FALSE(any_message_left);
  }
}

struct UnregisterCase {
  const char* name;
  bool window_alive;
  LPCWSTR class_name;
  HINSTANCE instance;
  BOOL result;
  DWORD error;
};

TEST(SystemWindowClasses, UnregisteringFollowsWindowsRules) {
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
    SystemProbeScope scope;
    TestWindowClass window_class;
    HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
    if (!test.window_alive) {
      DestroyWindow(window);
    }
    SetLastError(0);
    EXPECT_EQ(UnregisterClassW(test.class_name, test.instance), test.result);
    EXPECT_EQ(GetLastError(), test.error);
    WNDCLASSW found{};
    EXPECT_EQ(GetClassInfoW(GetModuleHandleW(nullptr), TestWindowClass::kName, &found) != FALSE,
              !test.result);
  }
}

TEST(SystemWindowClasses, RegisteringTwiceFailsAndOnlyPredefinedCursorsLoadWithoutAModule) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  ASSERT_NE(window_class.atom(), 0);
  WNDCLASSW again{};
  again.lpfnWndProc = &DefWindowProcW;
  again.hInstance = GetModuleHandleW(nullptr);
  again.lpszClassName = L"Halvex_Test_Window";
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  again.hInstance = nullptr;  // stands for the executable
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
  SetLastError(0);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(101)), nullptr);
  constexpr DWORD kResourceTypeNotFound = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
  // Wine's system cursors are no resources of the cursor type, so Wine misses the type.
  EXPECT_EQ(GetLastError(), RunsUnderWine() ? kResourceTypeNotFound
                                            : static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

}  // namespace
}  // namespace halvex::testing
