// The built host run as a Windows process, with the probe application as its data/app.so: the
// command line it passes on, its window once shown, its exit code, and its recorder channel
// answering through the engine while the system has no encoder.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/windows/probe_channel_calls.h"
#include "tests/windows/windows_process.h"

namespace halvex::testing {
namespace {

std::wstring ProbeFolder() {
  return ExecutableFolder() + L"wine-probe\\";
}

// Runs the host copy beside the probe application with `arguments` after the program name.
Report RunHost(const std::wstring& arguments, std::optional<DWORD>* exitCode) {
  const std::wstring report = ProbeFolder() + L"host-report.txt";
  DeleteFileW(report.c_str());
  const ScopedEnvironmentVariable reportPath(L"HALVEX_PROBE_REPORT", report);
  *exitCode = RunProcess(ProbeFolder() + L"halvex.exe", L"halvex.exe" + arguments, 60000);
  return ReadReport(report);
}

std::vector<std::string> ArgumentsOf(const Report& report) {
  const auto found = report.find("argument");
  return found == report.end() ? std::vector<std::string>() : found->second;
}

std::string Hex(const std::string& text) {
  return ToHex(std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(HostOnWindowsTest, CommandLineReachesTheApplicationAsUtf8) {
  const struct {
    const char* name;
    std::wstring arguments;  // after the program name
    std::vector<std::string> expected;
  } cases[] = {
      {"none", L"", {}},
      {"empty quoted argument between two", L" first \"\" third", {"first", "", "third"}},
      {"quoted spaces and escaped quote", L" \"a b\" c\\\"d", {"a b", "c\"d"}},
      {"non-ASCII",
       L" gr\u00fc\u00dfe \u65e5\u672c",
       {"gr\xc3\xbc\xc3\x9f"
        "e",
        "\xe6\x97\xa5\xe6\x9c\xac"}},
      {"unpaired surrogate", std::wstring(L" a \xD800 b"), {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<DWORD> exitCode;
    const Report report = RunHost(c.arguments, &exitCode);
    EXPECT_EQ(exitCode, std::optional<DWORD>(0));
    ASSERT_EQ(report.count("end"), 1u) << "the probe application did not finish its report";
    EXPECT_EQ(report.at("arguments"), std::vector<std::string>{std::to_string(c.expected.size())});
    std::vector<std::string> expectedHex;
    for (const std::string& argument : c.expected) {
      expectedHex.push_back(Hex(argument));
    }
    EXPECT_EQ(ArgumentsOf(report), expectedHex);
  }
}

TEST(HostOnWindowsTest, WindowIsShownNormallyAtItsScaledPlace) {
  std::optional<DWORD> exitCode;
  const Report report = RunHost(L"", &exitCode);
  EXPECT_EQ(exitCode, std::optional<DWORD>(0));
  EXPECT_EQ(report.at("shown"), std::vector<std::string>{"1"});
  EXPECT_EQ(report.at("zoomed"), std::vector<std::string>{"0"});
  EXPECT_EQ(report.at("iconic"), std::vector<std::string>{"0"});
  EXPECT_EQ(report.at("dpi"), std::vector<std::string>{"96"});
  EXPECT_EQ(report.at("window_rect"), std::vector<std::string>{"10 10 1290 730"});
}

TEST(HostOnWindowsTest, RecorderChannelAnswersThroughTheEngineWithoutAnEncoder) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "halvex-host-recording";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::filesystem::path recording = folder / "probe.mp4";
  const ScopedEnvironmentVariable recordingPath(L"HALVEX_PROBE_RECORDING", recording.wstring());

  std::optional<DWORD> exitCode;
  const Report report = RunHost(L"", &exitCode);
  EXPECT_EQ(exitCode, std::optional<DWORD>(0));
  const std::vector<ProbeChannelCall> calls = ProbeChannelCalls(recording.u8string());
  ASSERT_EQ(report.count("answer"), 1u);
  const std::vector<std::string>& answers = report.at("answer");
  ASSERT_EQ(answers.size(), calls.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(calls[i].name);
    EXPECT_EQ(answers[i], std::to_string(i) + " 1 " + ToHex(calls[i].expectedAnswer));
  }
  // The frames were dropped before any file was made.
  EXPECT_FALSE(std::filesystem::exists(recording));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace halvex::testing
