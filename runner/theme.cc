#include "runner/theme.h"

#include <dwmapi.h>

namespace halvex {
namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightThemeValue[] = L"AppsUseLightTheme";
// DWMWA_USE_IMMERSIVE_DARK_MODE, by its documented value: not every SDK's dwmapi.h declares it.
constexpr DWORD kUseImmersiveDarkModeAttribute = 20;

}  // namespace

void ApplyThemePreference(HWND window) {
  DWORD apps_use_light_theme = 0;
  DWORD size = sizeof(apps_use_light_theme);
  const LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightThemeValue,
                                        RRF_RT_REG_DWORD, nullptr, &apps_use_light_theme, &size);
  if (status != ERROR_SUCCESS) {
    return;
  }
  const BOOL dark = apps_use_light_theme == 0 ? TRUE : FALSE;
  ::DwmSetWindowAttribute(window, kUseImmersiveDarkModeAttribute, &dark, sizeof(dark));
}

}  // namespace halvex
