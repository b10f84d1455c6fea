#include "runner/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring text;
  for (unsigned unit : units) {
    text.push_back(static_cast<wchar_t>(unit));
  }
  return text;
}

TEST(ToUtf8Test, ConvertsValidTextAndGivesEmptyForInvalid) {
  const struct {
    const char* name;
    std::wstring utf16;
    std::string expected;
  } kCases[] = {
      {"empty", L"", ""},
      {"ascii", L"--fps=30", "--fps=30"},
      {"two-byte", Units({0x00E9, 0x0074, 0x00E9}), "\xC3\xA9t\xC3\xA9"},
      {"three-byte", Units({0x20AC}), "\xE2\x82\xAC"},
      {"surrogate pair", Units({0xD83D, 0xDCF7}), "\xF0\x9F\x93\xB7"},
      {"unpaired high at end", Units({'a', 0xD83D}), ""},
      {"unpaired high inside", Units({'a', 0xD83D, 'b'}), ""},
      {"lone low", Units({0xDCF7, 'a'}), ""},
      {"reversed pair", Units({0xDCF7, 0xD83D}), ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(halvex::ToUtf8(c.utf16.c_str()), c.expected) << c.name;
  }
  EXPECT_EQ(halvex::ToUtf8(nullptr), "");
}

TEST(ToUtf8Test, ConvertsAtMost32767CodeUnits) {
  constexpr size_t kLimit = 32767;
  const std::wstring pair = Units({0xD83D, 0xDCF7});
  const struct {
    const char* name;
    std::wstring utf16;
    std::string expected;
  } kCases[] = {
      {"at the limit", std::wstring(kLimit, L'a'), std::string(kLimit, 'a')},
      {"one over", std::wstring(kLimit, L'a') + L"b", std::string(kLimit, 'a')},
      {"far over", std::wstring(kLimit + 1000, L'z'), std::string(kLimit, 'z')},
      {"pair ending at the limit", std::wstring(kLimit - 2, L'a') + pair + L"b",
       std::string(kLimit - 2, 'a') + "\xF0\x9F\x93\xB7"},
      // The limit falls between the halves of a pair: the pair is left out whole rather than
      // the argument being lost.
      {"pair split by the limit", std::wstring(kLimit - 1, L'a') + pair,
       std::string(kLimit - 1, 'a')},
      // An unpaired surrogate before the limit still makes the text invalid.
      {"unpaired before the limit", Units({0xD83D}) + std::wstring(kLimit, L'a'), ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(halvex::ToUtf8(c.utf16.c_str()), c.expected) << c.name;
  }
}

class CommandLineArgumentsTest : public ::testing::Test {
 protected:
  halvex::testing::ScopedDesktop desktop_;
  halvex::testing::ScopedFaults faults_;
};

TEST_F(CommandLineArgumentsTest, ArgumentsAfterTheProgramPathInOrder) {
  const struct {
    const char* name;
    std::wstring command_line;
    std::vector<std::string> expected;
  } kCases[] = {
      {"program only", L"halvex.exe", {}},
      {"quoted program path", L"\"C:\\Program Files\\Halvex\\halvex.exe\" --fast", {"--fast"}},
      {"empty quoted argument kept in place",
       L"halvex.exe first \"\" third",
       {"first", "", "third"}},
      {"quoted spaces", L"halvex.exe --output \"my clip.mp4\"", {"--output", "my clip.mp4"}},
      {"unpaired surrogate becomes empty in place",
       L"halvex.exe before " + Units({'x', 0xD800, 'y'}) + L" after",
       {"before", "", "after"}},
      {"non-ASCII", L"halvex.exe " + Units({0x00E9, 0xD83D, 0xDCF7}), {"\xC3\xA9\xF0\x9F\x93\xB7"}},
  };
  for (const auto& c : kCases) {
    halvex::testing::SetCommandLine(c.command_line);
    EXPECT_THAT(halvex::CommandLineArguments(), ElementsAreArray(c.expected)) << c.name;
  }
}

TEST_F(CommandLineArgumentsTest, ArgumentArrayIsFreedOnce) {
  halvex::testing::SetCommandLine(L"halvex.exe a b");
  EXPECT_THAT(halvex::CommandLineArguments(), ElementsAre("a", "b"));
  EXPECT_EQ(halvex::testing::CallCount("LocalFree"), 1);

  halvex::testing::ResetFaults();
  halvex::testing::SetCommandLine(L"halvex.exe");
  EXPECT_THAT(halvex::CommandLineArguments(), IsEmpty());
  EXPECT_EQ(halvex::testing::CallCount("LocalFree"), 1);
}

TEST_F(CommandLineArgumentsTest, UnsplittableCommandLineGivesNoArguments) {
  halvex::testing::SetCommandLine(L"halvex.exe a b");
  halvex::testing::FailCall("CommandLineToArgvW", E_OUTOFMEMORY, 1);
  EXPECT_THAT(halvex::CommandLineArguments(), IsEmpty());
  // There was nothing to free.
  EXPECT_EQ(halvex::testing::CallCount("LocalFree"), 0);
}

}  // namespace
