#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::RegistryValue;
using halvex::testing::ScopedDesktop;

constexpr wchar_t kKey[] = L"Software\\Halvex\\Test";

std::vector<BYTE> Bytes(std::initializer_list<int> values) {
  std::vector<BYTE> bytes;
  for (int value : values) {
    bytes.push_back(static_cast<BYTE>(value));
  }
  return bytes;
}

struct FilterCase {
  const char* name;
  RegistryValue stored;
  DWORD flags;
  LSTATUS status;
  DWORD type;  // Reported on success.
  DWORD size;  // Reported on success.
};

TEST(Win32Registry, TypeFilteringFollowsTheRequestedTypes) {
  const RegistryValue dword{REG_DWORD, Bytes({1, 0, 0, 0})};
  const RegistryValue qword{REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})};
  const RegistryValue text{REG_SZ, Bytes({'a', 0, 0, 0})};  // One wchar_t, no terminator.
  const DWORD unit = sizeof(wchar_t);
  const FilterCase cases[] = {
      {"DWORD as DWORD", dword, RRF_RT_REG_DWORD, ERROR_SUCCESS, REG_DWORD, 4},
      {"DWORD among several types", dword, RRF_RT_REG_SZ | RRF_RT_REG_DWORD, ERROR_SUCCESS,
       REG_DWORD, 4},
      {"DWORD as string", dword, RRF_RT_REG_SZ, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"string as DWORD", text, RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"QWORD as DWORD", qword, RRF_RT_REG_DWORD, ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"QWORD as anything", qword, RRF_RT_ANY, ERROR_SUCCESS, REG_QWORD, 8},
      {"4 binary bytes as RRF_RT_DWORD", RegistryValue{REG_BINARY, Bytes({1, 2, 3, 4})},
       RRF_RT_DWORD, ERROR_SUCCESS, REG_BINARY, 4},
      {"3 binary bytes as RRF_RT_DWORD", RegistryValue{REG_BINARY, Bytes({1, 2, 3})}, RRF_RT_DWORD,
       ERROR_DATATYPE_MISMATCH, 0, 0},
      {"binary as REG_DWORD only", RegistryValue{REG_BINARY, Bytes({1, 2, 3, 4})}, RRF_RT_REG_DWORD,
       ERROR_UNSUPPORTED_TYPE, 0, 0},
      {"DWORD of the wrong size", RegistryValue{REG_DWORD, Bytes({1, 2})}, RRF_RT_REG_DWORD,
       ERROR_DATATYPE_MISMATCH, 0, 0},
      {"string gets its terminator", text, RRF_RT_REG_SZ, ERROR_SUCCESS, REG_SZ, 2 * unit},
      {"no type asked for", dword, 0, ERROR_INVALID_PARAMETER, 0, 0},
      {"expandable string alone without RRF_NOEXPAND", text, RRF_RT_REG_EXPAND_SZ,
       ERROR_INVALID_PARAMETER, 0, 0},
  };
  for (const FilterCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    halvex::testing::SetRegistryValue(kKey, L"Value", test.stored);
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

TEST(Win32Registry, MissingKeysAndValuesAreNotFound) {
  ScopedDesktop desktop;
  halvex::testing::SetRegistryDword(kKey, L"AppsUseLightTheme", 0);
  DWORD value = 99;
  DWORD size = sizeof(value);
  struct Case {
    const char* name;
    HKEY root;
    const wchar_t* key;
    const wchar_t* value;
    LSTATUS status;
  } const cases[] = {
      {"names compare without case", HKEY_CURRENT_USER, L"software\\HALVEX\\test",
       L"appsuselighttheme", ERROR_SUCCESS},
      {"missing value", HKEY_CURRENT_USER, kKey, L"Other", ERROR_FILE_NOT_FOUND},
      {"missing key", HKEY_CURRENT_USER, L"Software\\Other", L"AppsUseLightTheme",
       ERROR_FILE_NOT_FOUND},
      {"another user's hive is empty", HKEY_LOCAL_MACHINE, kKey, L"AppsUseLightTheme",
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
  EXPECT_TRUE(halvex::testing::RemoveRegistryValue(kKey, L"AppsUseLightTheme"));
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                         &value, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST(Win32Registry, BufferSizeRules) {
  ScopedDesktop desktop;
  halvex::testing::SetRegistryString(kKey, L"Name", L"halvex");
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

TEST(Win32Registry, ExpandableStringsAreExpandedUnlessAskedNot) {
  ScopedDesktop desktop;
  setenv("HALVEX_REGISTRY_TEST", "there", 1);
  halvex::testing::SetRegistryString(kKey, L"Path", L"%HALVEX_REGISTRY_TEST%\\%NOT_SET_ANYWHERE%",
                                     REG_EXPAND_SZ);
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

TEST(Win32Registry, InjectedFaultIsTheStatus) {
  ScopedDesktop desktop;
  halvex::testing::ScopedFaults faults;
  halvex::testing::SetRegistryDword(kKey, L"Value", 1);
  halvex::testing::FailCall("RegGetValueW", HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 1);
  DWORD value = 0;
  DWORD size = sizeof(value);
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, kKey, L"Value", RRF_RT_REG_DWORD, nullptr, &value, &size),
      ERROR_ACCESS_DENIED);
  EXPECT_EQ(value, 0u);
}

}  // namespace
