#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::ScopedDesktop;

constexpr wchar_t kKey[] = L"Software\\Halvex\\Test";

TEST(Win32Registry, RemovedValueIsNotFound) {
  ScopedDesktop desktop;
  halvex::testing::SetRegistryDword(kKey, L"AppsUseLightTheme", 0);
  DWORD value = 99;
  DWORD size = sizeof(value);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                         &value, &size),
            ERROR_SUCCESS);
  EXPECT_TRUE(halvex::testing::RemoveRegistryValue(kKey, L"AppsUseLightTheme"));
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr,
                         &value, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST(Win32Registry, StringControlStoresTheTextWithItsTerminatorAndType) {
  ScopedDesktop desktop;
  halvex::testing::SetRegistryString(kKey, L"Path", L"%HALVEX%", REG_EXPAND_SZ);
  wchar_t text[16] = {};
  DWORD size = sizeof(text);
  DWORD type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                         &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"%HALVEX%");
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, 9 * sizeof(wchar_t));
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
