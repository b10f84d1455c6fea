#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "tests/platform/win32_test_window.h"
#include "win32_modules.h"
#include "windows_testing/desktop.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::EndsWith;

TEST(Win32Modules, LibraryNamesMapToSharedObjects) {
  const struct {
    const char* name;
    std::vector<std::string> candidates;
  } cases[] = {
      {"gal_plugin.dll", {"gal_plugin.dll", "libgal_plugin.so", "gal_plugin.so"}},
      {"Plugin.DLL", {"Plugin.DLL", "libPlugin.so", "Plugin.so"}},
      {"engine", {"engine.dll", "libengine.so", "engine.so"}},
      {"data\\app.so", {"data/app.so"}},
      {"C:\\dir\\x.dll", {"C:/dir/x.dll", "C:/dir/libx.so", "C:/dir/x.so"}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_THAT(halvex::platform::win32::LibraryCandidates(test.name),
                ElementsAreArray(test.candidates));
  }
}

TEST(Win32Modules, LibraryBesideTheExecutableIsFoundFirst) {
  halvex::testing::ScopedDesktop desktop;
  std::wstring executable(4096, L'\0');
  executable.resize(GetModuleFileNameW(nullptr, &executable[0], 4096));
  const std::wstring directory = executable.substr(0, executable.find_last_of(L'/') + 1);

  HMODULE library = LoadLibraryW(L"halvex_windows_standin");
  ASSERT_NE(library, nullptr);
  EXPECT_NE(GetProcAddress(library, "GetDpiForMonitor"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(library, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  wchar_t path[4096];
  ASSERT_GT(GetModuleFileNameW(library, path, 4096), 0u);
  EXPECT_EQ(std::wstring(path), directory + L"libhalvex_windows_standin.so");
  EXPECT_EQ(GetModuleHandleW(L"halvex_windows_standin"), library);

  EXPECT_TRUE(FreeLibrary(library));
  SetLastError(0);
  EXPECT_FALSE(FreeLibrary(library));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("no_such_library.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  const std::vector<halvex::testing::LibraryLoad> loads = halvex::testing::LibraryLoads();
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_TRUE(loads[0].succeeded);
  EXPECT_EQ(loads[1].name, L"no_such_library.dll");
  EXPECT_FALSE(loads[1].succeeded);
}

TEST(Win32Modules, ShortBufferGetsATruncatedTerminatedPath) {
  wchar_t path[5] = {L'x', L'x', L'x', L'x', L'x'};
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(path[4], L'\0');
  EXPECT_EQ(std::wstring(path).size(), 4u);
}

// The non-client DPI scaling function of the system module, as a window procedure finds it.
BOOL EnableThroughUser32(HWND hwnd) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) {
    return FALSE;
  }
  using Function = BOOL(WINAPI*)(HWND);
  auto function = reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "EnableNonClientDpiScaling")));
  const BOOL result = function == nullptr ? FALSE : function(hwnd);
  FreeLibrary(user32);
  return result;
}

TEST(Win32Modules, NonClientScalingOnlyDuringCreationAndOnlyWhereAvailable) {
  const struct {
    const char* name;
    bool available;
    bool during_nccreate;
    bool enabled;
  } cases[] = {
      {"during WM_NCCREATE", true, true, true},
      {"after creation", true, false, false},
      {"older system without the function", false, true, false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    halvex::testing::ScopedDesktop desktop;
    halvex::testing::SetSystemFunctionAvailable("EnableNonClientDpiScaling", test.available);
    halvex::testing::TestWindowClass window_class;
    BOOL result = FALSE;
    window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
      if (message == WM_NCCREATE && test.during_nccreate) {
        result = EnableThroughUser32(hwnd);
      }
    };
    HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 100, 100});
    ASSERT_NE(window, nullptr);
    if (!test.during_nccreate) {
      result = EnableThroughUser32(window);
    }
    EXPECT_EQ(result != FALSE, test.enabled);
    EXPECT_EQ(halvex::testing::InspectWindow(window)->non_client_dpi_scaling, test.enabled);
  }
}

}  // namespace
