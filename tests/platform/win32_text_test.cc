#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "windows_testing/faults.h"

namespace {

using ::testing::ElementsAreArray;

constexpr wchar_t kReplacement = 0xFFFD;

struct Utf8Case {
  const char* name;
  std::string input;
  std::vector<wchar_t> lenient;  // With flags 0.
  bool valid;
};

TEST(Win32Text, Utf8ToUtf16ReplacesEachMaximalInvalidSubpart) {
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
      {"overlong three-byte", "\xE0\x80\xAF", {kReplacement, kReplacement, kReplacement}, false},
      {"overlong four-byte",
       "\xF0\x80\x80\xAF",
       {kReplacement, kReplacement, kReplacement, kReplacement},
       false},
      {"encoded surrogate", "\xED\xA0\x80", {kReplacement, kReplacement, kReplacement}, false},
      {"beyond U+10FFFF",
       "\xF4\x90\x80\x80",
       {kReplacement, kReplacement, kReplacement, kReplacement},
       false},
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
    const int size = static_cast<int>(test.input.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, test.input.data(), size, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(test.lenient.size()));
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
  std::string lenient;  // With flags 0.
  bool valid;
};

TEST(Win32Text, Utf16ToUtf8ReplacesUnpairedSurrogates) {
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
      {"code point in one wide unit", {static_cast<wchar_t>(0x1F600)}, "\xF0\x9F\x98\x80", true},
      {"unit beyond Unicode", {static_cast<wchar_t>(0x110000)}, "\xEF\xBF\xBD", false},
  };
  for (const Utf16Case& test : cases) {
    SCOPED_TRACE(test.name);
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

TEST(Win32Text, TerminatedInputCountsTheTerminator) {
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, nullptr, 0), 6);
  wchar_t wide[6] = {1, 1, 1, 1, 1, 1};
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, wide, 6), 6);
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[5], L'\0');

  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"h\u00e9", -1, nullptr, 0, nullptr, nullptr), 4);
  char narrow[4] = {1, 1, 1, 1};
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"h\u00e9", -1, narrow, 4, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(narrow), "h\xC3\xA9");
}

struct ErrorCase {
  const char* name;
  int result;
  DWORD error;
};

TEST(Win32Text, BadArgumentsAndSmallBuffersFail) {
  wchar_t wide[4] = {};
  char narrow[4] = {};
  BOOL used_default = FALSE;
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
            return WideCharToMultiByte(CP_UTF8, 0, L"\u20ac\u20ac", 2, narrow, 4, nullptr, nullptr);
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
    EXPECT_EQ(cases[i].result, 0);
    EXPECT_EQ(cases[i].error, expected[i]);
  }
}

TEST(Win32Text, InjectedFaultFailsTheConversion) {
  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("WideCharToMultiByte", E_OUTOFMEMORY, 1);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
}

}  // namespace
