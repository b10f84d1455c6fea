#include <gtest/gtest.h>

#include <dwmapi.h>
#include <shellscalingapi.h>
#include <windows.h>

#include "tests/platform/win32_test_window.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::ScopedDesktop;

UINT DpiAt(POINT point, DWORD flags) {
  HMONITOR monitor = MonitorFromPoint(point, flags);
  if (monitor == nullptr) {
    return 0;
  }
  UINT x = 0;
  UINT y = 0;
  return SUCCEEDED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y)) && x == y ? x : 0;
}

TEST(Win32Monitors, PointsFindTheirMonitorOrTheFallback) {
  ScopedDesktop desktop;
  halvex::testing::SetMonitors({{{0, 0, 1920, 1080}, 96}, {{1920, 0, 4480, 1440}, 144}});
  const struct {
    const char* name;
    POINT point;
    DWORD flags;
    UINT dpi;  // 0: no monitor.
  } cases[] = {
      {"on the primary", {10, 10}, MONITOR_DEFAULTTONULL, 96},
      {"on the second", {2000, 100}, MONITOR_DEFAULTTONULL, 144},
      {"right edge belongs to the next", {1920, 0}, MONITOR_DEFAULTTONULL, 144},
      {"below the primary, nearest", {100, 1200}, MONITOR_DEFAULTTONEAREST, 96},
      {"below the second, nearest", {3000, 2000}, MONITOR_DEFAULTTONEAREST, 144},
      {"off every monitor, primary", {3000, 2000}, MONITOR_DEFAULTTOPRIMARY, 96},
      {"off every monitor, none", {3000, 2000}, MONITOR_DEFAULTTONULL, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(DpiAt(test.point, test.flags), test.dpi);
  }
  halvex::testing::SetDpiForPoint({10, 10}, 168);
  EXPECT_EQ(DpiAt({10, 10}, MONITOR_DEFAULTTONEAREST), 168u);
}

TEST(Win32Monitors, StaleMonitorsAndBadArgumentsAreRefused) {
  ScopedDesktop desktop;
  HMONITOR before = MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  UINT x = 0;
  UINT y = 0;
  EXPECT_EQ(GetDpiForMonitor(before, MDT_EFFECTIVE_DPI, &x, nullptr), E_INVALIDARG);
  halvex::testing::SetMonitors({{{0, 0, 800, 600}, 120}});
  EXPECT_EQ(GetDpiForMonitor(before, MDT_EFFECTIVE_DPI, &x, &y), E_INVALIDARG);
  halvex::testing::ScopedFaults faults;
  halvex::testing::FailCall("GetDpiForMonitor", E_UNEXPECTED, 1);
  EXPECT_EQ(GetDpiForMonitor(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), MDT_EFFECTIVE_DPI,
                             &x, &y),
            E_UNEXPECTED);
}

TEST(Win32Dwm, AttributesAreCheckedAndTheLastValueKept) {
  ScopedDesktop desktop;
  halvex::testing::TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 100, 100});
  const BOOL dark = TRUE;
  const BOOL light = FALSE;
  const WORD too_small = 1;
  const struct {
    const char* name;
    HWND window;
    DWORD attribute;
    const void* value;
    DWORD size;
    HRESULT result;
  } cases[] = {
      {"dark mode on", window, DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark), S_OK},
      {"dark mode off", window, DWMWA_USE_IMMERSIVE_DARK_MODE, &light, sizeof(light), S_OK},
      {"wrong size", window, DWMWA_USE_IMMERSIVE_DARK_MODE, &too_small, sizeof(too_small),
       E_INVALIDARG},
      {"no value", window, DWMWA_USE_IMMERSIVE_DARK_MODE, nullptr, sizeof(dark), E_INVALIDARG},
      {"unknown attribute", window, 999, &dark, sizeof(dark), E_INVALIDARG},
      {"not a window", reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x5550)),
       DWMWA_USE_IMMERSIVE_DARK_MODE, &dark, sizeof(dark), E_HANDLE},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    EXPECT_EQ(DwmSetWindowAttribute(test.window, test.attribute, test.value, test.size),
              test.result);
  }
  // The refused calls left the last accepted value alone.
  EXPECT_EQ(halvex::testing::GetDwmAttributeDword(window, DWMWA_USE_IMMERSIVE_DARK_MODE), 0u);
  EXPECT_FALSE(halvex::testing::GetDwmAttribute(window, DWMWA_CAPTION_COLOR).has_value());
}

}  // namespace
