// Window rectangles and the messages that follow them: how a style's frame makes the client area
// smaller, where a child lands in its parent, and which of WM_SIZE and WM_MOVE a change sends.
// Frames are measured in the system's own metrics, which depend on its theme and DPI; the desktop
// model has fixed ones, so the same table checks the structure on both.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/platform/win32_test_window.h"
#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

using ::testing::ElementsAreArray;

enum class Frame { kNone, kBorder, kDialog, kSizing };

int FrameWidth(const FrameMetrics& metrics, Frame frame, bool client_edge) {
  const int edge = client_edge ? metrics.client_edge : 0;
  switch (frame) {
    case Frame::kNone:
      return edge;
    case Frame::kBorder:
      return metrics.border + edge;
    case Frame::kDialog:
      return metrics.dialog_frame + edge;
    case Frame::kSizing:
      return metrics.sizing_frame + edge;
  }
  return edge;
}

struct GeometryCase {
  const char* name;
  DWORD style;
  DWORD ex_style;
  bool child;  // of an overlapped window at (10, 10)
  RECT rect;
  Frame frame;
  bool caption;
};

TEST(SystemWindowGeometry, FrameMakesTheClientAreaSmaller) {
  const FrameMetrics metrics = SystemFrameMetrics();
  std::printf("frame metrics: sizing %d, dialog %d, border %d, client edge %d, caption %d\n",
              metrics.sizing_frame, metrics.dialog_frame, metrics.border, metrics.client_edge,
              metrics.caption);
  // The model lays windows out as Windows does at 96 DPI with its default theme.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(metrics.sizing_frame, 8);
    EXPECT_EQ(metrics.dialog_frame, 3);
    EXPECT_EQ(metrics.border, 1);
    EXPECT_EQ(metrics.client_edge, 2);
    EXPECT_EQ(metrics.caption, 23);
  }
  const GeometryCase cases[] = {
      {"overlapped window",
       WS_OVERLAPPEDWINDOW,
       0,
       false,
       {10, 10, 1290, 730},
       Frame::kSizing,
       true},
      {"pop-up without border", WS_POPUP, 0, false, {5, 5, 305, 205}, Frame::kNone, false},
      {"pop-up with border",
       WS_POPUP | WS_BORDER,
       0,
       false,
       {0, 0, 300, 200},
       Frame::kBorder,
       false},
      {"pop-up with caption",
       WS_POPUP | WS_CAPTION,
       0,
       false,
       {0, 0, 300, 200},
       Frame::kDialog,
       true},
      {"overlapped without frame styles gets a caption",
       WS_OVERLAPPED,
       0,
       false,
       {0, 0, 300, 200},
       Frame::kDialog,
       true},
      {"child without border", WS_CHILD, 0, true, {5, 6, 105, 56}, Frame::kNone, false},
      {"child with border and client edge",
       WS_CHILD | WS_BORDER,
       WS_EX_CLIENTEDGE,
       true,
       {0, 0, 100, 50},
       Frame::kBorder,
       false},
  };
  const int parent_frame = FrameWidth(metrics, Frame::kSizing, false);
  const POINT parent_client_origin = {10 + parent_frame, 10 + parent_frame + metrics.caption};
  for (const GeometryCase& test : cases) {
    SCOPED_TRACE(test.name);
    SystemProbeScope scope;
    TestWindowClass window_class;
    HWND parent =
        test.child ? window_class.Create(WS_OVERLAPPEDWINDOW, {10, 10, 1290, 730}) : nullptr;
    HWND window = window_class.Create(test.style, test.rect, parent, test.ex_style);
    ASSERT_NE(window, nullptr);
    RECT window_rect{};
    RECT client_rect{};
    ASSERT_TRUE(GetWindowRect(window, &window_rect));
    ASSERT_TRUE(GetClientRect(window, &client_rect));

    const POINT offset = test.child ? parent_client_origin : POINT{0, 0};
    EXPECT_EQ(window_rect.left, test.rect.left + offset.x);
    EXPECT_EQ(window_rect.top, test.rect.top + offset.y);
    EXPECT_EQ(window_rect.right, test.rect.right + offset.x);
    EXPECT_EQ(window_rect.bottom, test.rect.bottom + offset.y);
    const int frame = FrameWidth(metrics, test.frame, test.ex_style & WS_EX_CLIENTEDGE);
    EXPECT_EQ(client_rect.left, 0);
    EXPECT_EQ(client_rect.top, 0);
    EXPECT_EQ(client_rect.right, test.rect.right - test.rect.left - 2 * frame);
    EXPECT_EQ(client_rect.bottom,
              test.rect.bottom - test.rect.top - 2 * frame - (test.caption ? metrics.caption : 0));
    std::printf("%s: window %d,%d-%d,%d client %dx%d\n", test.name,
                static_cast<int>(window_rect.left), static_cast<int>(window_rect.top),
                static_cast<int>(window_rect.right), static_cast<int>(window_rect.bottom),
                static_cast<int>(client_rect.right), static_cast<int>(client_rect.bottom));
  }
}

TEST(SystemWindowGeometry, ProcedureThatKeepsTheWholeRectangleHasNoFrame) {
  SystemProbeScope scope;
  TestWindowClass window_class;
  window_class.answers[WM_NCCALCSIZE] = 0;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 640, 480});
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
}

struct SizeOrMove {
  UINT message;
  LPARAM lparam;
};

// Records the WM_SIZE and WM_MOVE messages `window` gets from now on.
void RecordSizeAndMove(TestWindowClass& window_class,
                       HWND window,
                       std::vector<SizeOrMove>& received) {
  window_class.on_message = [window, &received](HWND hwnd, UINT message, WPARAM, LPARAM lparam) {
    if (hwnd == window && (message == WM_SIZE || message == WM_MOVE)) {
      received.push_back({message, lparam});
    }
  };
}

struct MoveCase {
  const char* name;
  int x, y, width, height;
  UINT flags;
  std::vector<UINT> messages;
  LPARAM size;  // of the WM_SIZE, if any
};

TEST(SystemWindowGeometry, SetWindowPosSendsMoveAndSizeOnlyForChanges) {
  // The child starts at (10, 20) with 100 x 50.
  const MoveCase cases[] = {
      {"same place and size", 10, 20, 100, 50, SWP_NOZORDER, {}, 0},
      {"moved", 30, 40, 100, 50, SWP_NOZORDER, {WM_MOVE}, 0},
      {"resized", 10, 20, 120, 60, SWP_NOZORDER, {WM_SIZE}, MAKELPARAM(120, 60)},
      {"moved and resized", 0, 0, 200, 100, SWP_NOZORDER, {WM_MOVE, WM_SIZE}, MAKELPARAM(200, 100)},
      {"size ignored", 10, 20, 999, 999, SWP_NOZORDER | SWP_NOSIZE, {}, 0},
      {"position ignored", 99, 99, 100, 50, SWP_NOZORDER | SWP_NOMOVE, {}, 0},
      {"negative size is empty", 10, 20, -5, -5, SWP_NOZORDER, {WM_SIZE}, MAKELPARAM(0, 0)},
  };
  for (const MoveCase& test : cases) {
    SCOPED_TRACE(test.name);
    SystemProbeScope scope;
    TestWindowClass window_class;
    HWND parent = window_class.Create(WS_POPUP, {0, 0, 800, 600});
    HWND child = window_class.Create(WS_CHILD, {10, 20, 110, 70}, parent);
    std::vector<SizeOrMove> received;
    RecordSizeAndMove(window_class, child, received);

    ASSERT_TRUE(SetWindowPos(child, nullptr, test.x, test.y, test.width, test.height, test.flags));

    std::vector<UINT> messages;
    LPARAM size = 0;
    for (const SizeOrMove& entry : received) {
      messages.push_back(entry.message);
      if (entry.message == WM_SIZE) {
        size = entry.lparam;
      }
    }
    EXPECT_THAT(messages, ElementsAreArray(test.messages));
    EXPECT_EQ(size, test.size);
  }
}

TEST(SystemWindowGeometry, MoveWindowTracksTheClientArea) {
  const FrameMetrics metrics = SystemFrameMetrics();
  const int frame = FrameWidth(metrics, Frame::kSizing, false);
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND window = window_class.Create(WS_OVERLAPPEDWINDOW, {0, 0, 400, 300});
  std::vector<SizeOrMove> received;
  RecordSizeAndMove(window_class, window, received);

  ASSERT_TRUE(MoveWindow(window, 50, 60, 800 + 2 * frame, 600 + 2 * frame + metrics.caption, TRUE));

  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 800);
  EXPECT_EQ(client.bottom, 600);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].message, static_cast<UINT>(WM_MOVE));
  EXPECT_EQ(received[0].lparam, MAKELPARAM(50 + frame, 60 + frame + metrics.caption));
  EXPECT_EQ(received[1].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(received[1].lparam, MAKELPARAM(800, 600));
}

TEST(SystemWindowGeometry, ReparentedChildKeepsItsCoordinatesInTheNewParent) {
  const FrameMetrics metrics = SystemFrameMetrics();
  const int frame = FrameWidth(metrics, Frame::kSizing, false);
  SystemProbeScope scope;
  TestWindowClass window_class;
  HWND host = window_class.Create(WS_OVERLAPPEDWINDOW, {100, 100, 500, 400});
  HWND view = window_class.Create(WS_CHILD, {0, 0, 50, 40}, HWND_MESSAGE);
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(IsWindowVisible(view));

  EXPECT_NE(SetParent(view, host), nullptr);

  EXPECT_EQ(GetAncestor(view, GA_ROOT), host);
  EXPECT_EQ(GetAncestor(view, GA_PARENT), host);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(view, &rect));
  EXPECT_EQ(rect.left, 100 + frame);
  EXPECT_EQ(rect.top, 100 + frame + metrics.caption);
  SetLastError(0);
  EXPECT_EQ(SetParent(host, view), nullptr);  // Not under its own descendant.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
}  // namespace halvex::testing
