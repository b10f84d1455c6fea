#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <thread>

#include <windows.h>

#include "windows_testing/faults.h"

namespace {

// Each case runs on a thread of its own, so that no priority outlives it.
template <typename Body>
void OnAThreadOfItsOwn(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(Win32ThreadPriorityTest, SetThreadPriorityChangesOnlyTheCallerOrSaysWhyNot) {
  struct Case {
    const char* name;
    bool ownHandle;
    int priority;
    DWORD error;  // 0: accepted
    int policy;   // the scheduling the thread then has
    int niceness;
    int reported;
  };
  const Case cases[] = {
      {"below normal", true, THREAD_PRIORITY_BELOW_NORMAL, 0, SCHED_OTHER, 10,
       THREAD_PRIORITY_BELOW_NORMAL},
      {"lowest", true, THREAD_PRIORITY_LOWEST, 0, SCHED_OTHER, 19, THREAD_PRIORITY_LOWEST},
      {"idle", true, THREAD_PRIORITY_IDLE, 0, SCHED_IDLE, 0, THREAD_PRIORITY_IDLE},
      {"normal", true, THREAD_PRIORITY_NORMAL, 0, SCHED_OTHER, 0, THREAD_PRIORITY_NORMAL},
      {"above normal, kept at normal", true, THREAD_PRIORITY_ABOVE_NORMAL, 0, SCHED_OTHER, 0,
       THREAD_PRIORITY_ABOVE_NORMAL},
      {"not a priority", true, 7, ERROR_INVALID_PARAMETER, SCHED_OTHER, 0, THREAD_PRIORITY_NORMAL},
      {"another thread's handle", false, THREAD_PRIORITY_LOWEST, ERROR_INVALID_HANDLE, SCHED_OTHER,
       0, THREAD_PRIORITY_NORMAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OnAThreadOfItsOwn([&c] {
      HANDLE handle = c.ownHandle ? GetCurrentThread() : reinterpret_cast<HANDLE>(0x1234);
      SetLastError(0);
      EXPECT_EQ(SetThreadPriority(handle, c.priority), c.error == 0 ? TRUE : FALSE);
      EXPECT_EQ(GetLastError(), c.error);
      EXPECT_EQ(sched_getscheduler(0), c.policy);
      EXPECT_EQ(getpriority(PRIO_PROCESS, 0), c.niceness);
      EXPECT_EQ(GetThreadPriority(GetCurrentThread()), c.reported);
    });
  }
}

TEST(Win32ThreadPriorityTest, ANewThreadReportsNormalAndAnInjectedFailureChangesNothing) {
  OnAThreadOfItsOwn([] {
    ASSERT_EQ(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST), TRUE);
    OnAThreadOfItsOwn(
        [] { EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL); });
  });
  OnAThreadOfItsOwn([] {
    halvex::testing::ScopedFaults faults;
    halvex::testing::FailCall("SetThreadPriority", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 1);
    EXPECT_EQ(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(GetThreadPriority(reinterpret_cast<HANDLE>(0x1234)), THREAD_PRIORITY_ERROR_RETURN);
  });
}

}  // namespace
