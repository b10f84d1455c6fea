#include <gtest/gtest.h>

#include <windows.h>

#include "windows_testing/faults.h"

namespace {

TEST(Win32Text, InjectedFaultFailsTheConversion) {
  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("WideCharToMultiByte", E_OUTOFMEMORY, 1);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OUTOFMEMORY));
}

}  // namespace
