#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include <io.h>
#include <windows.h>

#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::GetConsoleActions;
using halvex::testing::ScopedDesktop;

struct AttachCase {
  const char* name;
  bool parent_console;
  bool allocate_first;
  BOOL attached;
  DWORD error;
};

TEST(Win32Console, AttachingNeedsAParentConsoleAndNoConsoleYet) {
  const AttachCase cases[] = {
      {"started from a console", true, false, TRUE, 0},
      {"started from the desktop", false, false, FALSE, ERROR_INVALID_HANDLE},
      {"already has its own console", true, true, FALSE, ERROR_ACCESS_DENIED},
  };
  for (const AttachCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    halvex::testing::SetParentConsole(test.parent_console);
    if (test.allocate_first) {
      ASSERT_TRUE(AllocConsole());
    }
    SetLastError(0);
    EXPECT_EQ(AttachConsole(ATTACH_PARENT_PROCESS), test.attached);
    EXPECT_EQ(GetLastError(), test.error);
    EXPECT_EQ(GetConsoleActions().attached, test.attached != FALSE);
    EXPECT_EQ(GetConsoleActions().attach_calls, 1);
  }
}

TEST(Win32Console, ReopeningOnTheConsoleKeepsTheStreamsWorking) {
  ScopedDesktop desktop;
  FILE* reopened = stdout;
  // Without a console there is nothing to open; the stream is left as it was.
  EXPECT_EQ(freopen_s(&reopened, "CONOUT$", "w", stdout), ENOENT);
  EXPECT_EQ(reopened, nullptr);

  ASSERT_TRUE(AllocConsole());
  EXPECT_FALSE(AllocConsole());  // One console per process.
  EXPECT_EQ(freopen_s(&reopened, "CONOUT$", "w", stderr), 0);
  EXPECT_EQ(reopened, stderr);
  EXPECT_GE(std::fprintf(stderr, "%s", ""), 0);
  EXPECT_EQ(_dup2(_fileno(stdout), 1), 0);

  const halvex::testing::ConsoleActions actions = GetConsoleActions();
  ASSERT_EQ(actions.reopenings.size(), 2u);
  EXPECT_EQ(actions.reopenings[0].descriptor, 1);
  EXPECT_FALSE(actions.reopenings[0].succeeded);
  EXPECT_EQ(actions.reopenings[1].descriptor, 2);
  EXPECT_EQ(actions.reopenings[1].path, "CONOUT$");
  EXPECT_EQ(actions.reopenings[1].mode, "w");
  EXPECT_TRUE(actions.reopenings[1].succeeded);
  ASSERT_EQ(actions.duplications.size(), 1u);
  EXPECT_EQ(actions.duplications[0], std::make_pair(1, 1));
}

TEST(Win32Console, BadArgumentsAndInjectedFailures) {
  ScopedDesktop desktop;
  halvex::testing::ScopedFaults faults;
  ASSERT_TRUE(AllocConsole());
  FILE* reopened = stdout;
  EXPECT_EQ(freopen_s(&reopened, nullptr, "w", stdout), EINVAL);
  EXPECT_EQ(reopened, nullptr);
  EXPECT_EQ(_fileno(nullptr), -1);
  EXPECT_EQ(_dup2(-1, 1), -1);

  halvex::testing::FailCall("freopen_s", E_ACCESSDENIED, 1);
  EXPECT_NE(freopen_s(&reopened, "CONOUT$", "w", stdout), 0);
  EXPECT_EQ(reopened, nullptr);
  EXPECT_GE(std::fprintf(stdout, "%s", ""), 0);  // Still open.
  halvex::testing::SetDebuggerPresent(true);
  EXPECT_TRUE(IsDebuggerPresent());
}

}  // namespace
