// Painting: update marks, WM_PAINT, the device contexts of BeginPaint and the bitmaps stretched
// onto them, kept as each window's painted pixels.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

bool ShownOnScreenLocked(Desktop& desktop, const WindowRecord& window) {
  const WindowRecord* current = &window;
  while (current != nullptr) {
    if ((current->style & WS_VISIBLE) == 0 || current->parent == MessageRoot()) {
      return false;
    }
    current = current->parent == nullptr ? nullptr : FindWindowLocked(desktop, current->parent);
  }
  return true;
}

// Where the pixels of a 32-bit bitmap are and how they are laid out.
struct SourceBitmap {
  const uint8_t* bits;
  LONG width;
  LONG height;
  bool top_down;
  size_t row_bytes;

  // Rows as seen on screen, from the top.
  const uint8_t* Row(LONG y) const {
    const LONG stored = top_down ? y : height - 1 - y;
    return bits + static_cast<size_t>(stored) * row_bytes;
  }
};

bool DescribeSource(const void* bits, const BITMAPINFO* info, SourceBitmap* source) {
  if (bits == nullptr || info == nullptr) {
    return false;
  }
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
      header.biHeight == INT32_MIN || header.biPlanes != 1 || header.biBitCount != 32 ||
      header.biCompression != BI_RGB) {
    return false;
  }
  source->bits = static_cast<const uint8_t*>(bits);
  source->width = header.biWidth;
  source->top_down = header.biHeight < 0;
  source->height = source->top_down ? -header.biHeight : header.biHeight;
  source->row_bytes = static_cast<size_t>(header.biWidth) * 4;
  return true;
}

uint32_t PixelAt(const uint8_t* row, LONG x) {
  const uint8_t* pixel = row + static_cast<size_t>(x) * 4;
  return static_cast<uint32_t>(pixel[0]) | (static_cast<uint32_t>(pixel[1]) << 8) |
         (static_cast<uint32_t>(pixel[2]) << 16);
}

}  // namespace

HWND WindowToPaintLocked(Desktop& desktop, HWND filter) {
  const DWORD thread_id = GetCurrentThreadId();
  for (HWND hwnd : desktop.creation_order) {
    const WindowRecord* window = FindLiveWindowLocked(desktop, hwnd);
    if (window == nullptr || window->thread_id != thread_id || !window->painting.update_pending ||
        !ShownOnScreenLocked(desktop, *window)) {
      continue;
    }
    if (filter == nullptr || IsInSubtreeLocked(desktop, filter, hwnd)) {
      return hwnd;
    }
  }
  return nullptr;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::DeviceContextRecord;
using halvex::platform::win32::FindLiveWindowLocked;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::SourceBitmap;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowRecord;

extern "C" {

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* /*lpRect*/, BOOL /*bErase*/) {
  if (InjectedFault("InvalidateRect")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindLiveWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  ++window->painting.invalidations;
  window->painting.update_pending = true;
  auto queue = desktop.queues.find(window->thread_id);
  if (queue != desktop.queues.end()) {
    queue->second->wake.notify_all();
  }
  return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  if (InjectedFault("BeginPaint")) {
    return nullptr;
  }
  if (lpPaint == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindLiveWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  halvex::testing::WindowPainting& painting = window->painting;
  const int width = static_cast<int>(window->client.right - window->client.left);
  const int height = static_cast<int>(window->client.bottom - window->client.top);
  if (width != painting.width || height != painting.height) {
    painting.width = width;
    painting.height = height;
    painting.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  }
  painting.update_pending = false;
  ++painting.paints;
  const HDC dc = halvex::platform::win32::NewHandle<HDC>(desktop);
  desktop.device_contexts[dc] = DeviceContextRecord{hWnd};
  std::memset(lpPaint, 0, sizeof(*lpPaint));
  lpPaint->hdc = dc;
  lpPaint->rcPaint = RECT{0, 0, width, height};
  return dc;
}

BOOL WINAPI EndPaint(HWND /*hWnd*/, const PAINTSTRUCT* lpPaint) {
  if (lpPaint == nullptr) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.device_contexts.erase(lpPaint->hdc);
  return TRUE;
}

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto context = desktop.device_contexts.find(hdc);
  if (context == desktop.device_contexts.end() || mode < BLACKONWHITE || mode > HALFTONE) {
    return 0;
  }
  const int previous = context->second.stretch_mode;
  context->second.stretch_mode = mode;
  return previous;
}

int WINAPI StretchDIBits(HDC hdc,
                         int xDest,
                         int yDest,
                         int DestWidth,
                         int DestHeight,
                         int xSrc,
                         int ySrc,
                         int SrcWidth,
                         int SrcHeight,
                         const void* lpBits,
                         const BITMAPINFO* lpbmi,
                         UINT iUsage,
                         DWORD rop) {
  if (InjectedFault("StretchDIBits")) {
    return 0;
  }
  SourceBitmap source{};
  if (iUsage != DIB_RGB_COLORS || rop != SRCCOPY || DestWidth <= 0 || DestHeight <= 0 ||
      SrcWidth <= 0 || SrcHeight <= 0 ||
      !halvex::platform::win32::DescribeSource(lpBits, lpbmi, &source) || xSrc < 0 || ySrc < 0 ||
      SrcWidth > source.width - xSrc || SrcHeight > source.height - ySrc) {
    return 0;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto context = desktop.device_contexts.find(hdc);
  if (context == desktop.device_contexts.end()) {
    return 0;
  }
  WindowRecord* window = FindWindowLocked(desktop, context->second.window);
  if (window == nullptr) {
    return 0;
  }
  halvex::testing::WindowPainting& painting = window->painting;
  // For a bottom-up bitmap the source rectangle is measured from its bottom row.
  const LONG top_row = source.top_down ? ySrc : source.height - ySrc - SrcHeight;
  const int64_t bottom = std::min<int64_t>(int64_t{yDest} + DestHeight, painting.height);
  const int64_t right = std::min<int64_t>(int64_t{xDest} + DestWidth, painting.width);
  const int64_t left = std::max(xDest, 0);
  // Every row takes the same source columns: worked out once, as a window repaints every frame.
  std::vector<LONG> source_columns;
  for (int64_t x = left; x < right; ++x) {
    source_columns.push_back(static_cast<LONG>(xSrc + (x - xDest) * SrcWidth / DestWidth));
  }
  for (int64_t y = std::max(yDest, 0); y < bottom; ++y) {
    const int64_t source_y = top_row + (y - yDest) * SrcHeight / DestHeight;
    const uint8_t* row = source.Row(static_cast<LONG>(source_y));
    uint32_t* out = &painting.pixels[static_cast<size_t>(y) * static_cast<size_t>(painting.width)];
    for (size_t column = 0; column < source_columns.size(); ++column) {
      out[left + static_cast<int64_t>(column)] =
          halvex::platform::win32::PixelAt(row, source_columns[column]);
    }
  }
  ++painting.stretches;
  return SrcHeight;
}

}  // extern "C"

namespace halvex::testing {

std::optional<WindowPainting> InspectPainting(HWND window) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto found = desktop.windows.find(window);
  if (found == desktop.windows.end()) {
    return std::nullopt;
  }
  return found->second->painting;
}

}  // namespace halvex::testing
