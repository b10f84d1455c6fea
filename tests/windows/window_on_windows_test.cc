// The host's top-level window on Windows itself, through window_probe: the DPI scaling of its
// position and size from the user's LogPixels, the dark title bar from AppsUseLightTheme, and
// the window staying hidden until the engine's first frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/windows/windows_process.h"

namespace halvex::testing {
namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

std::wstring ProbeFolder() {
  return ExecutableFolder() + L"wine-probe\\";
}

// Runs the probe with the user's settings as they are now and returns its report.
Report RunWindowProbe() {
  const std::wstring report = ProbeFolder() + L"window-probe-report.txt";
  DeleteFileW(report.c_str());
  const std::wstring probe = ProbeFolder() + L"window_probe.exe";
  const std::optional<DWORD> exitCode =
      RunProcess(probe, L"window_probe.exe \"" + report + L"\"", 60000);
  EXPECT_EQ(exitCode, std::optional<DWORD>(0));
  return ReadReport(report);
}

std::string Only(const Report& report, const std::string& key) {
  const auto found = report.find(key);
  return found == report.end() || found->second.size() != 1 ? "<missing>" : found->second[0];
}

TEST(WindowOnWindowsTest, PositionAndSizeAreScaledByTheUsersDpi) {
  const struct {
    DWORD logPixels;
    const char* createArguments;  // x y width height given to CreateWindowExW
  } cases[] = {
      {96, "10 10 1280 720"},
      {120, "12 12 1600 900"},
      {144, "15 15 1920 1080"},
      {168, "17 17 2240 1260"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("LogPixels " + std::to_string(c.logPixels));
    const ScopedUserRegistryValue dpi(kDesktopKey, L"LogPixels",
                                      ScopedUserRegistryValue::Dword(c.logPixels));
    const Report report = RunWindowProbe();
    EXPECT_EQ(Only(report, "created"), "1");
    EXPECT_EQ(Only(report, "dpi"), std::to_string(c.logPixels));
    EXPECT_EQ(Only(report, "create_args"), c.createArguments);
    // What the window got: Windows limits a window to the largest tracking size, about the
    // desktop's size (1280 x 800 here), so the larger sizes are cut down; the position stays.
    std::istringstream rect(Only(report, "window_rect"));
    int left = 0, top = 0, right = 0, bottom = 0;
    rect >> left >> top >> right >> bottom;
    std::istringstream asked(c.createArguments);
    int x = 0, y = 0, width = 0, height = 0;
    asked >> x >> y >> width >> height;
    EXPECT_EQ(left, x);
    EXPECT_EQ(top, y);
    EXPECT_LE(right - left, width);
    EXPECT_LE(bottom - top, height);
    std::printf("LogPixels %lu: created with %s, window rectangle %s\n",
                static_cast<unsigned long>(c.logPixels), c.createArguments,
                Only(report, "window_rect").c_str());
  }
}

TEST(WindowOnWindowsTest, HiddenUntilTheFirstFrameThenShownNormally) {
  const Report report = RunWindowProbe();
  EXPECT_EQ(Only(report, "created"), "1");
  EXPECT_EQ(Only(report, "create_style_visible"), "0");
  EXPECT_EQ(Only(report, "visible_after_create"), "0");
  EXPECT_EQ(Only(report, "visible_after_frame"), "1");
  EXPECT_EQ(Only(report, "zoomed"), "0");
  EXPECT_EQ(Only(report, "iconic"), "0");
}

TEST(WindowOnWindowsTest, DarkTitleBarFollowsAppsUseLightTheme) {
  using Data = ScopedUserRegistryValue::Data;
  const struct {
    const char* name;
    std::optional<Data> value;
    const char* dwmCall;  // window attribute size value; nullptr: no call
  } cases[] = {
      {"dark", ScopedUserRegistryValue::Dword(0), "window 20 4 1"},
      {"light", ScopedUserRegistryValue::Dword(1), "window 20 4 0"},
      {"any other number", ScopedUserRegistryValue::Dword(2), "window 20 4 0"},
      {"missing", std::nullopt, nullptr},
      {"text, not a number", ScopedUserRegistryValue::Text(L"0"), nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedUserRegistryValue theme(kPersonalizeKey, L"AppsUseLightTheme", c.value);
    const Report report = RunWindowProbe();
    ASSERT_EQ(Only(report, "import_redirected"), "1");
    const auto calls = report.find("dwm");
    if (c.dwmCall == nullptr) {
      EXPECT_EQ(calls, report.end());
    } else {
      ASSERT_NE(calls, report.end());
      EXPECT_EQ(calls->second, std::vector<std::string>{c.dwmCall});
    }
  }
}

}  // namespace
}  // namespace halvex::testing
