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

  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  ASSERT_NE(argv, nullptr);
  const std::vector<std::wstring> split(argv, argv + count);
  EXPECT_EQ(argv[count], nullptr);
  EXPECT_EQ(LocalFree(argv), nullptr);

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
}

TEST(Win32CommandLine, InjectedFailureReturnsNull) {
  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("CommandLineToArgvW", E_OUTOFMEMORY, 1);
  int count = 0;
  SetLastError(0);
  EXPECT_EQ(CommandLineToArgvW(L"prog", &count), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
}

}  // namespace
