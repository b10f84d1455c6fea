// Painting in the desktop model: when WM_PAINT is due, and what StretchDIBits leaves in a
// window's client area, which tests of the engine's view read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "windows_testing/desktop.h"
#include "windows_testing/painting.h"

namespace {

using halvex::testing::InspectPainting;
using halvex::testing::ScopedDesktop;
using halvex::testing::TestWindowClass;

// Takes what PeekMessageW offers the thread and dispatches it; WM_NULL when nothing is waiting.
UINT DispatchNext() {
  MSG message{};
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    return WM_NULL;
  }
  DispatchMessageW(&message);
  return message.message;
}

TEST(Win32Painting, PaintIsDueForShownInvalidatedWindowsOnlyAndAfterPostedMessages) {
  struct Case {
    const char* name;
    DWORD style;
    bool message_only;
    std::vector<UINT> dispatched;  // after one posted WM_USER
  };
  const Case cases[] = {
      {"shown", WS_POPUP | WS_VISIBLE, false, {WM_USER, WM_PAINT, WM_NULL}},
      {"hidden", WS_POPUP, false, {WM_USER, WM_NULL}},
      {"message-only", WS_CHILD | WS_VISIBLE, true, {WM_USER, WM_NULL}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    HWND window =
        window_class.Create(test.style, {0, 0, 40, 30}, test.message_only ? HWND_MESSAGE : nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(DispatchNext(), WM_NULL) << "due before anything was invalidated";

    ASSERT_TRUE(InvalidateRect(window, nullptr, FALSE));
    PostMessageW(window, WM_USER, 0, 0);
    std::vector<UINT> dispatched;
    for (UINT message = WM_USER; message != WM_NULL;) {
      message = DispatchNext();
      dispatched.push_back(message);
    }

    // The default procedure validates, so WM_PAINT comes once.
    EXPECT_EQ(dispatched, test.dispatched);
    EXPECT_EQ(InspectPainting(window)->update_pending, test.dispatched.size() == 2);
  }
}

// A 2 x 2 picture, 0x00RRGGBB, as seen on screen from the top-left.
constexpr uint32_t kQuadrants[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};

std::vector<uint8_t> BitmapBytes(bool top_down) {
  std::vector<uint8_t> bytes;
  for (int stored_row = 0; stored_row < 2; ++stored_row) {
    const int screen_row = top_down ? stored_row : 1 - stored_row;
    for (int x = 0; x < 2; ++x) {
      const uint32_t colour = kQuadrants[screen_row * 2 + x];
      bytes.insert(bytes.end(), {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                                 static_cast<uint8_t>(colour >> 16), 0});
    }
  }
  return bytes;
}

struct StretchCase {
  const char* name;
  bool top_down;
  WORD bit_count;
  UINT usage;
  int source_width;  // of the rectangle taken from the picture
  bool draws;
};

TEST(Win32Painting, StretchDIBitsScalesIntoTheClientAreaOrRefusesWhatItCannotDraw) {
  const StretchCase cases[] = {
      {"top-down", true, 32, DIB_RGB_COLORS, 2, true},
      {"bottom-up", false, 32, DIB_RGB_COLORS, 2, true},
      {"24 bits", true, 24, DIB_RGB_COLORS, 2, false},
      {"palette usage", true, 32, 1, 2, false},
      {"rectangle past the picture", true, 32, DIB_RGB_COLORS, 3, false},
  };
  for (const StretchCase& test : cases) {
    SCOPED_TRACE(test.name);
    ScopedDesktop desktop;
    TestWindowClass window_class;
    const std::vector<uint8_t> bytes = BitmapBytes(test.top_down);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 2;
    info.bmiHeader.biHeight = test.top_down ? -2 : 2;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = test.bit_count;
    info.bmiHeader.biCompression = BI_RGB;
    int drawn_rows = -1;
    window_class.on_message = [&](HWND hwnd, UINT message, WPARAM, LPARAM) {
      if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        drawn_rows = StretchDIBits(dc, 0, 0, 4, 4, 0, 0, test.source_width, 2, bytes.data(), &info,
                                   test.usage, SRCCOPY);
        EndPaint(hwnd, &paint);
      }
    };
    window_class.answers[WM_PAINT] = 0;
    HWND window = window_class.Create(WS_POPUP | WS_VISIBLE, {0, 0, 4, 4});
    InvalidateRect(window, nullptr, FALSE);
    ASSERT_EQ(DispatchNext(), static_cast<UINT>(WM_PAINT));

    const halvex::testing::WindowPainting painting = *InspectPainting(window);
    ASSERT_EQ(painting.width, 4);
    ASSERT_EQ(painting.height, 4);
    EXPECT_EQ(painting.paints, 1);
    EXPECT_EQ(drawn_rows, test.draws ? 2 : 0);
    EXPECT_EQ(painting.stretches, test.draws ? 1 : 0);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 4; ++x) {
        const uint32_t expected = test.draws ? kQuadrants[(y / 2) * 2 + x / 2] : 0;
        EXPECT_EQ(painting.At(x, y), expected) << "at " << x << ", " << y;
      }
    }
  }
}

TEST(Win32Painting, DeviceContextsLastFromBeginPaintToEndPaint) {
  ScopedDesktop desktop;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_POPUP | WS_VISIBLE, {0, 0, 2, 1});
  const uint8_t pixel[8] = {0, 0, 255, 0, 0, 0, 255, 0};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), COLORONCOLOR);
  EndPaint(window, &paint);
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 1, 0, 0, 2, 1, pixel, &info, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), 0);
  EXPECT_EQ(InspectPainting(window)->At(0, 0), 0u);
}

}  // namespace
