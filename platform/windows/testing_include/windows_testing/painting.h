// Test controls for painting in the desktop model: whether a window waits for WM_PAINT, and the
// pixels drawn into its client area. Product code never includes this header.
#ifndef HALVEX_WINDOWS_TESTING_PAINTING_H_
#define HALVEX_WINDOWS_TESTING_PAINTING_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace halvex::testing {

struct WindowPainting {
  int invalidations = 0;        // InvalidateRect calls for the window.
  bool update_pending = false;  // Invalidated and not yet painted: WM_PAINT is due.
  int paints = 0;               // BeginPaint calls.
  int stretches = 0;            // StretchDIBits calls that drew.
  // The client area as painted: sized at each BeginPaint (black where nothing was drawn since
  // the size last changed), 0x00RRGGBB per pixel, rows top to bottom.
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  uint32_t At(int x, int y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

// Empty for a window that never existed since the last reset.
std::optional<WindowPainting> InspectPainting(HWND window);

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_PAINTING_H_
