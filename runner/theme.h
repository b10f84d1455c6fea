// The light or dark title bar that follows the user's app theme.
#ifndef HALVEX_RUNNER_THEME_H_
#define HALVEX_RUNNER_THEME_H_

#include <windows.h>

namespace halvex {

// Gives `window` a dark title bar when the user's "AppsUseLightTheme" is 0 and a light one for
// any other value. Leaves the frame alone when the value is missing or is not a DWORD.
void ApplyThemePreference(HWND window);

}  // namespace halvex

#endif  // HALVEX_RUNNER_THEME_H_
