// The built host, started as a user or a developer would start it, with an application library
// that reports what it found.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_process.h"

namespace {

using halvex::testing::HostResult;
using halvex::testing::HostStart;
using halvex::testing::RunHostProcess;
using ::testing::HasSubstr;

const std::string kHost = HALVEX_END_TO_END_HOST;

TEST(HostEndToEndTest, ConsoleRules) {
  const struct {
    const char* name;
    bool from_terminal;
    bool under_debugger;
    const char* expected_console;
  } kCases[] = {
      {"from the desktop", false, false,
       "console: attach_calls=1 attached=0 alloc_calls=0 allocated=0 reopened=0 duplications=0 "
       "resyncs=0\n"},
      {"from a console window", true, false,
       "console: attach_calls=1 attached=1 alloc_calls=0 allocated=0 reopened=0 duplications=0 "
       "resyncs=0\n"},
      {"under a debugger", false, true,
       "console: attach_calls=1 attached=0 alloc_calls=1 allocated=1 reopened=2 duplications=0 "
       "resyncs=1\n"},
      {"from a console window under a debugger", true, true,
       "console: attach_calls=1 attached=1 alloc_calls=0 allocated=0 reopened=0 duplications=0 "
       "resyncs=0\n"},
  };
  for (const auto& c : kCases) {
    HostStart start;
    start.from_terminal = c.from_terminal;
    start.under_debugger = c.under_debugger;
    const HostResult result = RunHostProcess(kHost, start);
    ASSERT_TRUE(result.started) << c.name;
    EXPECT_EQ(result.exit_code, 0) << c.name << "\n" << result.errors;
    EXPECT_THAT(result.output, HasSubstr(c.expected_console)) << c.name;
    // Both streams still reach their reader, whatever was done to them.
    EXPECT_THAT(result.output, HasSubstr("window: shown=1 show_commands=1\n")) << c.name;
    EXPECT_THAT(result.errors, HasSubstr("probe: error stream still reaches its reader\n"))
        << c.name;
  }
}

TEST(HostEndToEndTest, CommandLineArgumentsReachTheApplicationInOrder) {
  const struct {
    const char* name;
    std::vector<std::string> arguments;
    std::string expected;
  } kCases[] = {
      {"none", {}, "arguments: 0\n"},
      {"empty argument between two others",
       {"--before", "", "after"},
       "arguments: 3\nargument 0: [--before]\nargument 1: []\nargument 2: [after]\n"},
      {"spaces, quotes and backslashes",
       {"a b", "say \"hi\"", "C:\\dir\\", "\\\\server\\share"},
       "arguments: 4\nargument 0: [a b]\nargument 1: [say \"hi\"]\nargument 2: [C:\\dir\\]\n"
       "argument 3: [\\\\server\\share]\n"},
      {"non-ASCII text",
       {"caf\xC3\xA9 \xF0\x9F\x93\xB7"},
       "arguments: 1\nargument 0: [caf\xC3\xA9 \xF0\x9F\x93\xB7]\n"},
  };
  for (const auto& c : kCases) {
    HostStart start;
    start.arguments = c.arguments;
    const HostResult result = RunHostProcess(kHost, start);
    ASSERT_TRUE(result.started) << c.name;
    EXPECT_EQ(result.exit_code, 0) << c.name << "\n" << result.errors;
    EXPECT_THAT(result.output, HasSubstr(c.expected)) << c.name;
  }
}

TEST(HostEndToEndTest, ChannelsAreInPlaceWhenTheApplicationRuns) {
  HostStart start;
  start.arguments = {"--exit-with", "3"};
  const HostResult result = RunHostProcess(kHost, start);
  ASSERT_TRUE(result.started);
  // The application's status is reported, but closing the window is what ends the host.
  EXPECT_EQ(result.exit_code, 0) << result.errors;
  // The recorder answers "stop" with an envelope; the plug-in's channel and a channel nobody
  // listens on answer with nothing.
  EXPECT_THAT(result.output, ::testing::ContainsRegex("recorder: answered=1 size=[1-9][0-9]* "
                                                      "first=[01]\n"));
  EXPECT_THAT(result.output, HasSubstr("plugin: answered=1 size=0 first=-1\n"));
  EXPECT_THAT(result.output, HasSubstr("unhandled: answered=1 size=0 first=-1\n"));
  EXPECT_THAT(result.errors, HasSubstr("The application ended with status 3.\n"));
}

}  // namespace
