// A thread's message queue: waking a waiting GetMessageW from another thread, the place of
// WM_QUIT, filters, sent messages crossing threads, and posting to threads without a queue.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

using ::testing::ElementsAre;

// A message filter's bounds. Windows queues messages of its own around the ones a case posts, so
// there a case reads only its own range; the model queues none, so on it every read takes any
// message and finds nothing but what the case posted.
struct Filter {
  UINT first;
  UINT last;
};

Filter OwnMessages(UINT first, UINT last) {
  return RunsOnTheDesktopModel() ? Filter{0, 0} : Filter{first, last};
}

TEST(SystemMessageQueue, PostFromAnotherThreadWakesGetMessage) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    // Late enough that the main thread is already waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    posted = true;
    PostMessageW(window, WM_APP + 1, 7, 8);
  });

  MSG message{};
  const Filter own = OwnMessages(WM_APP, WM_APP + 1);
  const BOOL result = GetMessageW(&message, nullptr, own.first, own.last);
  poster.join();

  EXPECT_TRUE(posted);
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(message.hwnd, window);
  EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 1));
  EXPECT_EQ(message.wParam, 7u);
  EXPECT_EQ(message.lParam, 8);
  window_class.log.clear();
  DispatchMessageW(&message);
  EXPECT_THAT(window_class.MessagesOf(window), ElementsAre(static_cast<UINT>(WM_APP + 1)));
}

TEST(SystemMessageQueue, ThreadMessageFromAnotherThreadWakesGetMessage) {
  SystemProbeScope scope;
  MSG message{};
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // Makes this thread's queue.
  const DWORD waiting_thread = GetCurrentThreadId();
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostThreadMessageW(waiting_thread, WM_APP + 3, 1, 2);
  });

  const BOOL result = GetMessageW(&message, nullptr, WM_APP + 3, WM_APP + 3);
  poster.join();

  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(message.hwnd, nullptr);
  EXPECT_EQ(message.wParam, 1u);
  EXPECT_EQ(message.lParam, 2);
}

TEST(SystemMessageQueue, QuitComesAfterPostedMessagesAndEndsTheLoop) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  PostQuitMessage(3);
  PostMessageW(window, WM_APP, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP + 2, 0, 0);

  std::vector<UINT> retrieved;
  MSG message{};
  BOOL result = 0;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) != 0) {
    if (RunsOnTheDesktopModel() || message.message >= WM_APP) {
      retrieved.push_back(message.message);
    }
  }
  EXPECT_THAT(retrieved, ElementsAre(static_cast<UINT>(WM_APP), static_cast<UINT>(WM_APP + 2)));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 3u);
}

TEST(SystemMessageQueue, FiltersLeaveOtherMessagesQueuedButNeverHoldBackQuit) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND first = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  HWND second = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  PostMessageW(first, WM_APP, 0, 0);
  PostMessageW(second, WM_APP + 1, 0, 0);
  PostMessageW(second, WM_USER, 0, 0);

  MSG message{};
  ASSERT_TRUE(PeekMessageW(&message, second, WM_APP, WM_APP + 10, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 1));
  const Filter own = OwnMessages(WM_USER, WM_APP + 10);
  ASSERT_TRUE(PeekMessageW(&message, nullptr, own.first, own.last, PM_NOREMOVE));
  EXPECT_EQ(message.hwnd, first);
  PostQuitMessage(0);
  ASSERT_EQ(GetMessageW(&message, first, WM_APP, WM_APP), TRUE);
  EXPECT_EQ(GetMessageW(&message, first, WM_APP, WM_APP), FALSE);  // WM_QUIT passes any filter.
  ASSERT_TRUE(PeekMessageW(&message, nullptr, own.first, own.last, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
}

TEST(SystemMessageQueue, SendFromAnotherThreadRunsOnTheWindowsThread) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP, {0, 0, 10, 10});
  const DWORD window_thread = GetCurrentThreadId();
  DWORD procedure_thread = 0;
  window_class.answers[WM_APP + 5] = 1234;
  window_class.on_message = [&](HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_APP + 5) {
      procedure_thread = GetCurrentThreadId();
    }
  };
  LRESULT answer = 0;
  std::thread sender([&] {
    answer = SendMessageW(window, WM_APP + 5, 0, 0);
    PostMessageW(window, WM_APP + 6, 0, 0);
  });

  MSG message{};
  const Filter own = OwnMessages(WM_APP + 6, WM_APP + 6);
  ASSERT_EQ(GetMessageW(&message, nullptr, own.first, own.last), TRUE);  // The send runs inside.
  sender.join();

  EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 6));
  EXPECT_EQ(answer, 1234);
  EXPECT_EQ(procedure_thread, window_thread);
}

TEST(SystemMessageQueue, PostingNeedsAQueueAndAWindow) {
  SystemProbeScope scope;
  DWORD finished_thread = 0;
  std::thread([&] {
    MSG message{};
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // Makes the thread's queue.
    finished_thread = GetCurrentThreadId();
  }).join();
  DWORD queueless_thread = 0;
  std::thread([&] { queueless_thread = GetCurrentThreadId(); }).join();

  struct Case {
    const char* name;
    BOOL result;
    DWORD error;
  };
  SetLastError(0);
  const Case cases[] = {
      {"thread that ended", PostThreadMessageW(finished_thread, WM_APP, 0, 0), GetLastError()},
      {"thread that never had a queue", PostThreadMessageW(queueless_thread, WM_APP, 0, 0),
       GetLastError()},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(test.result, FALSE);
    // Wine answers ERROR_INVALID_PARAMETER where Windows documents ERROR_INVALID_THREAD_ID.
    EXPECT_EQ(test.error, RunsUnderWine() ? static_cast<DWORD>(ERROR_INVALID_PARAMETER)
                                          : static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
  }
  SetLastError(0);
  EXPECT_FALSE(PostMessageW(reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x123450)), WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(SystemMessageQueue, WindowsOfAThreadEndWithIt) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = nullptr;
  std::thread([&] { window = window_class.Create(WS_POPUP, {0, 0, 10, 10}); }).join();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(SendMessageW(window, WM_APP, 0, 0), 0);  // Nobody is left to answer; no wait.
}

}  // namespace
}  // namespace halvex::testing
