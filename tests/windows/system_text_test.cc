// UTF-8 and UTF-16 conversion and command-line splitting: the product's text passes through
// these calls, so the same tables run on Windows and against the desktop model.
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

using ::testing::ElementsAreArray;

constexpr wchar_t kReplacement = 0xFFFD;

struct Utf8Case {
  const char* name;
  std::string input;
  std::vector<wchar_t> lenient;  // with flags 0
  bool valid;
  // Wine takes a lead byte with the continuation bytes after it as one ill-formed sequence;
  // Windows, like the model, replaces each maximal subpart: E0, F0, ED and F4 alone are one when
  // the next byte is outside the range they allow.
  bool wine_differs = false;
};

TEST(SystemText, Utf8ToUtf16ReplacesEachMaximalInvalidSubpart) {
  const Utf8Case cases[] = {
      {"ASCII", "Az", {L'A', L'z'}, true},
      {"two bytes", "\xC3\xA9", {0xE9}, true},
      {"three bytes", "\xE2\x82\xAC", {0x20AC}, true},
      {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, true},
      {"last code point", "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, true},
      {"embedded zero", std::string("a\0b", 3), {L'a', 0, L'b'}, true},
      {"lone continuation byte", "\x80", {kReplacement}, false},
      {"byte that never occurs", "a\xFF", {L'a', kReplacement}, false},
      {"overlong two-byte slash", "\xC0\xAF", {kReplacement, kReplacement}, false},
      {"overlong three-byte",
       "\xE0\x80\xAF",
       {kReplacement, kReplacement, kReplacement},
       false,
       true},
      {"overlong four-byte",
       "\xF0\x80\x80\xAF",
       {kReplacement, kReplacement, kReplacement, kReplacement},
       false,
       true},
      {"encoded surrogate",
       "\xED\xA0\x80",
       {kReplacement, kReplacement, kReplacement},
       false,
       true},
      {"beyond U+10FFFF",
       "\xF4\x90\x80\x80",
       {kReplacement, kReplacement, kReplacement, kReplacement},
       false,
       true},
      {"truncated three-byte at the end", "\xE2\x82", {kReplacement}, false},
      {"truncated three-byte before ASCII",
       "\xE2\x82"
       "A",
       {kReplacement, L'A'},
       false},
      {"truncated four-byte before a valid one",
       "\xF0\x9F\x98\xC3\xA9",
       {kReplacement, 0xE9},
       false},
      {"two leads in a row", "\xE2\xE2\x82\xAC", {kReplacement, 0x20AC}, false},
  };
  for (const Utf8Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.wine_differs && RunsUnderWine()) {
      continue;
    }
    const int size = static_cast<int>(test.input.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, test.input.data(), size, nullptr, 0);
    EXPECT_EQ(needed, static_cast<int>(test.lenient.size()));
    if (needed != static_cast<int>(test.lenient.size())) {
      continue;
    }
    std::vector<wchar_t> output(static_cast<size_t>(needed));
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, test.input.data(), size, output.data(), needed),
              needed);
    EXPECT_THAT(output, ElementsAreArray(test.lenient));

    SetLastError(0);
    const int strict =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, test.input.data(), size, nullptr, 0);
    if (test.valid) {
      EXPECT_EQ(strict, needed);
    } else {
      EXPECT_EQ(strict, 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

struct Utf16Case {
  const char* name;
  std::vector<wchar_t> input;
  std::string lenient;  // with flags 0
  bool valid;
  // A whole code point in one unit exists only where wchar_t has 32 bits, as on the model.
  bool needs_wide_units = false;
};

TEST(SystemText, Utf16ToUtf8ReplacesUnpairedSurrogates) {
  const Utf16Case cases[] = {
      {"ASCII", {L'h', L'i'}, "hi", true},
      {"BMP", {0xE9, 0x20AC}, "\xC3\xA9\xE2\x82\xAC", true},
      {"surrogate pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80", true},
      {"lone high surrogate", {L'a', 0xD83D}, "a\xEF\xBF\xBD", false},
      {"lone low surrogate",
       {0xDE00, L'b'},
       "\xEF\xBF\xBD"
       "b",
       false},
      {"pair in the wrong order", {0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD", false},
      {"high surrogate before ASCII",
       {0xD83D, L'x'},
       "\xEF\xBF\xBD"
       "x",
       false},
      {"code point in one wide unit",
       {static_cast<wchar_t>(0x1F600)},
       "\xF0\x9F\x98\x80",
       true,
       true},
      {"unit beyond Unicode", {static_cast<wchar_t>(0x110000)}, "\xEF\xBF\xBD", false, true},
  };
  for (const Utf16Case& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.needs_wide_units && sizeof(wchar_t) < 4) {
      continue;
    }
    const int size = static_cast<int>(test.input.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, test.input.data(), size, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(needed, static_cast<int>(test.lenient.size()));
    std::string output(static_cast<size_t>(needed), '\0');
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, test.input.data(), size, &output[0], needed, nullptr,
                                  nullptr),
              needed);
    EXPECT_EQ(output, test.lenient);

    SetLastError(0);
    const int strict = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, test.input.data(), size,
                                           nullptr, 0, nullptr, nullptr);
    if (test.valid) {
      EXPECT_EQ(strict, needed);
    } else {
      EXPECT_EQ(strict, 0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    }
  }
}

TEST(SystemText, TerminatedInputCountsTheTerminator) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, nullptr, 0), 6);
  wchar_t wide[6] = {1, 1, 1, 1, 1, 1};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, wide, 6), 6);
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[5], L'\0');

  const wchar_t h_e_acute[] = {L'h', 0xE9, 0};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, h_e_acute, -1, nullptr, 0, nullptr, nullptr), 4);
  char narrow[4] = {1, 1, 1, 1};
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, h_e_acute, -1, narrow, 4, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(narrow), "h\xC3\xA9");
}

struct ErrorCase {
  const char* name;
  int result;
  DWORD error;
};

// Wine converts these where Windows documents a failure: UTF-8 takes no flags but
// MB_ERR_INVALID_CHARS and WC_ERR_INVALID_CHARS and no default character, and a surrogate pair
// is never split to fit a buffer.
bool WineConverts(const std::string& name) {
  return name == "pair does not fit" || name == "length below -1" ||
         name == "flag UTF-8 does not take" || name == "default character with UTF-8" ||
         name == "wide flag UTF-8 does not take";
}

// The model knows UTF-8 alone; Windows also converts from its ANSI code pages.
bool WindowsConverts(const std::string& name) {
  return name == "code page other than UTF-8";
}

TEST(SystemText, BadArgumentsAndSmallBuffersFail) {
  wchar_t wide[4] = {};
  char narrow[4] = {};
  BOOL used_default = FALSE;
  const wchar_t two_euros[] = {0x20AC, 0x20AC};
  // Each call runs right before its error is read.
  auto run = [](const char* name, auto&& call) {
    SetLastError(0);
    const int result = call();
    return ErrorCase{name, result, GetLastError()};
  };
  const ErrorCase cases[] = {
      run("wide buffer too small",
          [&] { return MultiByteToWideChar(CP_UTF8, 0, "abcde", 5, wide, 4); }),
      run("pair does not fit",
          [&] { return MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", 5, wide, 2); }),
      run("narrow buffer too small",
          [&] {
            return WideCharToMultiByte(CP_UTF8, 0, two_euros, 2, narrow, 4, nullptr, nullptr);
          }),
      run("empty input", [&] { return MultiByteToWideChar(CP_UTF8, 0, "", 0, nullptr, 0); }),
      run("null input", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, nullptr, 0); }),
      run("length below -1",
          [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", -2, nullptr, 0); }),
      run("buffer size without buffer",
          [&] { return MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 4); }),
      run("code page other than UTF-8",
          [&] { return MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0); }),
      run("flag UTF-8 does not take",
          [&] { return MultiByteToWideChar(CP_UTF8, 0x1, "abc", 3, nullptr, 0); }),
      run("default character with UTF-8",
          [&] {
            return WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, &used_default);
          }),
      run("wide flag UTF-8 does not take",
          [&] {
            return WideCharToMultiByte(CP_UTF8, 0x400, L"abc", 3, nullptr, 0, nullptr, nullptr);
          }),
  };
  const DWORD expected[] = {
      ERROR_INSUFFICIENT_BUFFER, ERROR_INSUFFICIENT_BUFFER, ERROR_INSUFFICIENT_BUFFER,
      ERROR_INVALID_PARAMETER,   ERROR_INVALID_PARAMETER,   ERROR_INVALID_PARAMETER,
      ERROR_INVALID_PARAMETER,   ERROR_INVALID_PARAMETER,   ERROR_INVALID_FLAGS,
      ERROR_INVALID_PARAMETER,   ERROR_INVALID_FLAGS};
  ASSERT_EQ(std::size(cases), std::size(expected));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    if (RunsUnderWine() && WineConverts(cases[i].name)) {
      continue;
    }
    if (!RunsOnTheDesktopModel() && WindowsConverts(cases[i].name)) {
      EXPECT_NE(cases[i].result, 0);
      continue;
    }
    EXPECT_EQ(cases[i].result, 0);
    EXPECT_EQ(cases[i].error, expected[i]);
  }
}

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

TEST(SystemCommandLine, SplitsWithWindowsQuotingRules) {
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

TEST(SystemCommandLine, EmptyCommandLineIsTheExecutable) {
  const std::vector<std::wstring> arguments = Split(L"");
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_FALSE(arguments[0].empty());
  std::wstring executable(1024, L'\0');
  executable.resize(GetModuleFileNameW(nullptr, &executable[0], 1024));
  EXPECT_EQ(arguments[0], executable);
}

TEST(SystemCommandLine, CountIsRequired) {
  SetLastError(0);
  EXPECT_EQ(CommandLineToArgvW(L"prog", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

}  // namespace
}  // namespace halvex::testing
