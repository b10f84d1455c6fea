#include "runner/console.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/engine/engine_testing.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

namespace engine_testing = halvex::engine_testing;

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { engine_testing::ResetEngineTesting(); }
  void TearDown() override { engine_testing::ResetEngineTesting(); }

  halvex::testing::ScopedDesktop desktop_;
  halvex::testing::ScopedFaults faults_;
};

std::vector<int> ReopenedDescriptors(const halvex::testing::ConsoleActions& actions) {
  std::vector<int> descriptors;
  for (const auto& reopening : actions.reopenings) {
    EXPECT_EQ(reopening.path, "CONOUT$");
    EXPECT_EQ(reopening.mode, "w");
    descriptors.push_back(reopening.descriptor);
  }
  return descriptors;
}

TEST_F(ConsoleTest, AttachesToAParentConsoleOrOpensOneOnlyUnderADebugger) {
  const struct {
    const char* name;
    bool parent_console;
    bool debugger;
    bool alloc_fails;
    bool expect_attached;
    int expect_alloc_calls;
    std::vector<int> expect_reopened;
    int expect_resyncs;
  } kCases[] = {
      {"started from a console", true, false, false, true, 0, {}, 0},
      {"from a console, under a debugger", true, true, false, true, 0, {}, 0},
      {"from the desktop", false, false, false, false, 0, {}, 0},
      {"under a debugger", false, true, false, false, 1, {1, 2}, 1},
      {"under a debugger, no console to be had", false, true, true, false, 1, {}, 0},
  };
  for (const auto& c : kCases) {
    halvex::testing::ResetDesktop();
    halvex::testing::ResetFaults();
    engine_testing::ResetEngineTesting();
    halvex::testing::SetParentConsole(c.parent_console);
    halvex::testing::SetDebuggerPresent(c.debugger);
    if (c.alloc_fails) {
      halvex::testing::FailCall("AllocConsole", E_ACCESSDENIED, 1);
    }

    halvex::AttachOrOpenConsole();

    const halvex::testing::ConsoleActions actions = halvex::testing::GetConsoleActions();
    EXPECT_EQ(actions.attach_calls, 1) << c.name;
    EXPECT_EQ(actions.attached, c.expect_attached) << c.name;
    EXPECT_EQ(actions.alloc_calls, c.expect_alloc_calls) << c.name;
    EXPECT_EQ(ReopenedDescriptors(actions), c.expect_reopened) << c.name;
    EXPECT_TRUE(actions.duplications.empty()) << c.name;
    EXPECT_EQ(engine_testing::CallCounts().resync_output_streams, c.expect_resyncs) << c.name;
  }
}

TEST_F(ConsoleTest, AStreamThatCannotBeReopenedFollowsStandardOutput) {
  const struct {
    const char* name;
    int failing_reopen;  // 1: the output stream's, 2: the error stream's.
    std::vector<std::pair<int, int>> expect_duplications;
  } kCases[] = {
      {"output stream", 1, {{1, 1}}},
      {"error stream", 2, {{1, 2}}},
  };
  for (const auto& c : kCases) {
    halvex::testing::ResetDesktop();
    halvex::testing::ResetFaults();
    engine_testing::ResetEngineTesting();
    halvex::testing::FailCall("freopen_s", E_FAIL, c.failing_reopen);

    halvex::OpenDebugConsole();

    const halvex::testing::ConsoleActions actions = halvex::testing::GetConsoleActions();
    EXPECT_TRUE(actions.allocated) << c.name;
    EXPECT_EQ(actions.duplications, c.expect_duplications) << c.name;
    // Both reopenings are tried, whichever failed.
    EXPECT_EQ(halvex::testing::CallCount("freopen_s"), 2) << c.name;
    EXPECT_EQ(engine_testing::CallCounts().resync_output_streams, 1) << c.name;
  }
}

}  // namespace
