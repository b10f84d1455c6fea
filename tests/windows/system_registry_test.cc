// RegGetValueW as the host reads the user's theme with it: type filtering, sizes and terminators,
// zeroing on failure and the expansion of expandable strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

constexpr wchar_t kKey[] = L"Software\\Halvex\\SystemProbe";

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  std::vector<BYTE> bytes;
  for (int value : values) {
    bytes.push_back(static_cast<BYTE>(value));
  }
  return bytes;
}

// A string value as the system stores it: its wchar_t units in memory order.
std::vector<BYTE> TextBytes(const std::wstring& text, bool terminated = true) {
  const std::size_t units = text.size() + (terminated ? 1 : 0);
  std::vector<BYTE> bytes(units * sizeof(wchar_t));
  std::memcpy(bytes.data(), text.c_str(), bytes.size());
  return bytes;
}

// Every case starts and ends without the probe's key.
class SystemRegistry : public ::testing::Test {
 protected:
  void SetUp() override { RemoveUserRegistryKey(kKey); }
  void TearDown() override { RemoveUserRegistryKey(kKey); }
  SystemProbeScope scope_;
};

struct StoredValue {
  DWORD type;
  std::vector<BYTE> data;
};

struct FilterCase {
  const char* name;
  StoredValue stored;
  DWORD flags;
  LSTATUS status;
  DWORD type;  // reported on success
  DWORD size;  // reported on success
  // Wine checks neither sizes nor the requested types this strictly, and adds no terminator,
  // where Windows documents that it does.
  bool wine_differs = false;
};

TEST_F(SystemRegistry, TypeFilteringFollowsTheRequestedTypes) {
  const StoredValue dword{REG_DWORD, Bytes({1, 0, 0, 0})};
  const StoredValue qword{REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})};
  const StoredValue text{REG_SZ, TextBytes(L"a", false)};
  const DWORD unit = sizeof(wchar_t);
  const FilterCase cases[] = {
      {"DWORD as DWORD", dword, RRF_RT_REG_DWORD, ERROR_SUCCESS, REG_DWORD, 4},
      {"DWORD among several types", dword, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, ERROR_SUCCESS,
       REG_DWORD, 4},
      {"DWORD as string", dword, RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"string as DWORD", text, RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"QWORD as DWORD", qword, RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"QWORD as anything", qword, RRF_RT_ANY, ERROR_SUCCESS, REG_QWORD, 8},
      {"4 binary bytes as RRF_RT_DWORD", StoredValue{REG_BINARY, Bytes({1, 2, 3, 4})}, RRF_RT_DWORD,
       ERROR_SUCCESS, REG_BINARY, 4},
      {"3 binary bytes as RRF_RT_DWORD", StoredValue{REG_BINARY, Bytes({1, 2, 3})}, RRF_RT_DWORD,
       ERROR_DATATYPE_MISMATCH, 0, 0},
      {"binary as REG_DWORD only", StoredValue{REG_BINARY, Bytes({1, 2, 3, 4})}, RRF_RT_REG_DWORD,
       ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"DWORD of the wrong size", StoredValue{REG_DWORD, Bytes({1, 2})}, RRF_RT_REG_DWORD,
       ERROR_DATATYPE_MISMATCH, 0, 0, true},
      {"string gets its terminator", text, RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, 2 * unit, true},
      {"no type asked for", dword, 0, ERROR_INVALID_PARAMETER, 0, 0, true},
      {"expandable string alone without RRF_NOEXPAND", text, RRF_RT_REG_EXPAND_SZ,
       ERROR_INVALID_PARAMETER, 0, 0},
  };
  for (const FilterCase& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.wine_differs && RunsUnderWine()) {
      continue;
    }
    StoreUserRegistryValue(kKey, L"Value", test.stored.type, test.stored.data);
    DWORD type = 0xFFFF;
    BYTE data[64] = {};
    DWORD size = sizeof(data);
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Value", test.flags, &type, data, &size),
              test.status);
    if (test.status == ERROR_SUCCESS) {
      EXPECT_EQ(type, test.type);
      EXPECT_EQ(size, test.size);
    }
  }
}

TEST_F(SystemRegistry, MissingKeysAndValuesAreNotFound) {
  StoreUserRegistryValue(kKey, L"AppsUseLightTheme", REG_DWORD, Bytes({0, 0, 0, 0}));
  DWORD value = 99;
  DWORD size = sizeof(value);
  struct Case {
    const char* name;
    HKEY root;
    const wchar_t* key;
    const wchar_t* value;
    LSTATUS status;
  } const cases[] = {
      {"names compare without case", HKEY_CURRENT_USER, L"software\\HALVEX\\systemprobe",
       L"appsuselighttheme", ERROR_SUCCESS},
      {"missing value", HKEY_CURRENT_USER, kKey, L"Other", ERROR_FILE_NOT_FOUND},
      {"missing key", HKEY_CURRENT_USER, L"Software\\Halvex\\Other", L"AppsUseLightTheme",
       ERROR_FILE_NOT_FOUND},
      {"another hive does not have it", HKEY_LOCAL_MACHINE, kKey, L"AppsUseLightTheme",
       ERROR_FILE_NOT_FOUND},
      {"not a key", reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234)), kKey,
       L"AppsUseLightTheme", ERROR_INVALID_HANDLE},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(
        RegGetValueW(test.root, test.key, test.value, RRF_RT_REG_DWORD, nullptr, &value, &size),
        test.status);
  }
  EXPECT_EQ(value, 0u);
}

TEST_F(SystemRegistry, BufferSizeRules) {
  StoreUserRegistryValue(kKey, L"Name", REG_SZ, TextBytes(L"halvex"));
  const DWORD needed = 7 * sizeof(wchar_t);

  DWORD size = 0;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Name", RRF_RT_REG_SZ, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, needed);

  wchar_t small[3] = {L'x', L'x', L'x'};
  size = sizeof(small);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Name", RRF_RT_REG_SZ | RRF_ZEROONFAILURE,
                         nullptr, small, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(small[0], L'\0');  // Zeroed rather than left half-written.

  wchar_t text[16];
  size = sizeof(text);
  DWORD type = 0;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Name", RRF_RT_REG_SZ, &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"halvex");
  EXPECT_EQ(size, needed);

  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Name", RRF_RT_REG_SZ, nullptr, text, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(SystemRegistry, ExpandableStringsAreExpandedUnlessAskedNot) {
  SetProcessVariable(L"HALVEX_REGISTRY_TEST", L"there");
  StoreUserRegistryValue(kKey, L"Path", REG_EXPAND_SZ,
                         TextBytes(L"%HALVEX_REGISTRY_TEST%\\%NOT_SET_ANYWHERE%"));
  wchar_t text[64];
  DWORD size = sizeof(text);
  DWORD type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_SZ, &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"there\\%NOT_SET_ANYWHERE%");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  size = sizeof(text);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"%HALVEX_REGISTRY_TEST%\\%NOT_SET_ANYWHERE%");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

}  // namespace
}  // namespace halvex::testing
