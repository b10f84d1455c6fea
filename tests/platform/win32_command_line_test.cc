#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <shellapi.h>
#include <windows.h>

#include "win32_command_line.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using ::testing::ElementsAreArray;

std::vector<std::wstring> Split(const wchar_t* command_line) {
  int count = -1;
  LPWSTR* argv = CommandLineToArgvW(command_line, &count);
  std::vector<std::wstring> arguments;
  if (argv == nullptr) {
    return arguments;
  }
  for (int i = 0; i < count; ++i) {
    arguments.emplace_back(argv[i]);
  }
  EXPECT_EQ(argv[count], nullptr);
  EXPECT_EQ(LocalFree(argv), nullptr);
  return arguments;
}

struct SplitCase {
  const wchar_t* command_line;
  std::vector<std::wstring> arguments;
};

TEST(Win32CommandLine, SplitsWithWindowsQuotingRules) {
  const SplitCase cases[] = {
      {L"prog a b", {L"prog", L"a", L"b"}},
      {L"prog  a\t\tb ", {L"prog", L"a", L"b"}},
      {L"\"C:\\Program Files\\app.exe\" x", {L"C:\\Program Files\\app.exe", L"x"}},
      // The program name knows no escapes: a backslash before its closing quote stays.
      {L"\"C:\\dir\\\" x", {L"C:\\dir\\", L"x"}},
      {L"prog \"a b\" c", {L"prog", L"a b", L"c"}},
      {L"prog a \"\" b", {L"prog", L"a", L"", L"b"}},
      {L"prog \"\"", {L"prog", L""}},
      {L"prog a\"b c\"d", {L"prog", L"ab cd"}},
      {L"prog a\\\\b", {L"prog", L"a\\\\b"}},            // Backslashes alone are literal.
      {L"prog a\\\"b", {L"prog", L"a\"b"}},              // 1 backslash + mark: a literal mark.
      {L"prog a\\\\\"b c\"", {L"prog", L"a\\b c"}},      // 2: one backslash, the mark quotes.
      {L"prog a\\\\\\\"b", {L"prog", L"a\\\"b"}},        // 3: one backslash and a literal mark.
      {L"prog \"a\\\\\"", {L"prog", L"a\\"}},            // Trailing backslash inside quotes.
      {L"prog \"a\"\"b\"", {L"prog", L"a\"b"}},          // "" inside quotes: a literal mark...
      {L"prog \"a\"\"b c\"", {L"prog", L"a\"b", L"c"}},  // ...that ends the quoted part.
      {L"prog \"unterminated quote", {L"prog", L"unterminated quote"}},
  };
  for (const SplitCase& test : cases) {
    SCOPED_TRACE(std::string(test.command_line, test.command_line + wcslen(test.command_line)));
    EXPECT_THAT(Split(test.command_line), ElementsAreArray(test.arguments));
  }
}

TEST(Win32CommandLine, EmptyCommandLineIsTheExecutable) {
  const std::vector<std::wstring> arguments = Split(L"");
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_FALSE(arguments[0].empty());
  std::wstring executable(1024, L'\0');
  executable.resize(GetModuleFileNameW(nullptr, &executable[0], 1024));
  EXPECT_EQ(arguments[0], executable);
}

TEST(Win32CommandLine, ArgumentsRoundTripThroughTheBuiltCommandLine) {
  halvex::testing::ScopedDesktop desktop;
  const std::vector<std::string> arguments = {"/opt/my programs/halvex",
                                              "plain",
                                              "",
                                              "two words",
                                              "quote\"inside",
                                              "trailing\\",
                                              "back\\\\\"",
                                              "tab\there",
                                              "\xC3\xBCnicode \xF0\x9F\x98\x80",
                                              "\\\\server\\share\\"};
  halvex::testing::SetCommandLineArguments(arguments);

  const std::vector<std::wstring> split = Split(GetCommandLineW());

  std::vector<std::wstring> expected;
  for (const std::string& argument : arguments) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, argument.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argument.c_str(), -1, &wide[0], size);
    wide.resize(static_cast<size_t>(size - 1));
    expected.push_back(wide);
  }
  EXPECT_THAT(split, ElementsAreArray(expected));
}

TEST(Win32CommandLine, WinMainGetsTheTextAfterTheProgramName) {
  const struct {
    const wchar_t* command_line;
    const wchar_t* tail;
  } cases[] = {
      {L"prog a b", L"a b"},
      {L"\"my prog\"   \"a b\" c", L"\"a b\" c"},
      {L"prog", L""},
  };
  for (const auto& test : cases) {
    const std::wstring command_line = test.command_line;
    EXPECT_EQ(command_line.substr(halvex::platform::win32::CommandLineTailOffset(command_line)),
              test.tail);
  }
}

TEST(Win32CommandLine, LocalFreeRefusesMemoryItDidNotHandOut) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(L"prog a", &count);
  ASSERT_NE(argv, nullptr);
  EXPECT_EQ(LocalFree(argv), nullptr);
  SetLastError(0);
  EXPECT_EQ(LocalFree(argv), argv);  // Freed already.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  int not_local = 0;
  EXPECT_EQ(LocalFree(&not_local), &not_local);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(Win32CommandLine, FailuresReturnNull) {
  halvex::testing::ScopedFaults faults;
  SetLastError(0);
  EXPECT_EQ(CommandLineToArgvW(L"prog", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  halvex::testing::FailCall("CommandLineToArgvW", E_OUTOFMEMORY, 1);
  int count = 0;
  EXPECT_EQ(CommandLineToArgvW(L"prog", &count), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
}

}  // namespace
