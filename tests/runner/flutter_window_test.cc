#include "runner/flutter_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <dwmapi.h>

#include <string>
#include <vector>

#include "engine_host/engine_project.h"
#include "platform/engine/engine_testing.h"
#include "runner_test_support.h"
#include "recorder/desktop_recorder.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace {

namespace engine_testing = halvex::engine_testing;
using halvex::testing::InspectWindow;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr LogicalPoint kOrigin{10, 10};
constexpr LogicalSize kSize{1280, 720};
constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

class FlutterWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_testing::ResetEngineTesting();
    // The engine runs, but no application closes the window behind the test's back.
    engine_testing::DisableApplication(true);
  }
  void TearDown() override { engine_testing::ResetEngineTesting(); }

  // The engine's view: the one child of the top-level window.
  static HWND ViewOf(HWND top_level) {
    for (HWND window : halvex::testing::AllWindows()) {
      const auto info = InspectWindow(window);
      if (info->parent == top_level && !info->destroyed) {
        return window;
      }
    }
    return nullptr;
  }

  halvex::testing::ScopedDesktop desktop_;
  halvex::testing::ScopedFaults faults_;
  EngineProject project_{L"data"};
};

TEST_F(FlutterWindowTest, StaysHiddenUntilTheFirstFrameThenShowsOnceInTheNormalState) {
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  EXPECT_FALSE(InspectWindow(hwnd)->visible);
  EXPECT_EQ(engine_testing::CallCounts().force_redraw, 1);

  halvex::testing::DispatchPendingMessages();
  EXPECT_TRUE(InspectWindow(hwnd)->visible);
  EXPECT_EQ(InspectWindow(hwnd)->show_commands, std::vector<int>{SW_SHOWNORMAL});

  EXPECT_EQ(engine_testing::CallCounts().next_frame_callbacks_run, 1);
}

TEST_F(FlutterWindowTest, ViewIsCreatedAtTheClientSizeAndBecomesTheFocusedContent) {
  const struct {
    UINT dpi;
    int window_width;
    int window_height;
  } kCases[] = {{96, 1280, 720}, {144, 1920, 1080}};
  for (const auto& c : kCases) {
    halvex::testing::ResetDesktop();
    engine_testing::ResetEngineTesting();
    engine_testing::DisableApplication(true);
    ASSERT_TRUE(halvex::testing::SetMonitorDpi(0, c.dpi));
    FlutterWindow window(project_);
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
    const HWND hwnd = window.window_handle();
    const RECT client = halvex::testing::ClientRectOf(hwnd);
    const RECT outer = halvex::testing::WindowRect(hwnd);
    ASSERT_EQ(outer.right - outer.left, c.window_width);
    ASSERT_EQ(outer.bottom - outer.top, c.window_height);

    int width = 0;
    int height = 0;
    engine_testing::LastViewControllerSize(&width, &height);
    EXPECT_EQ(width, client.right - client.left) << c.dpi;
    EXPECT_EQ(height, client.bottom - client.top) << c.dpi;
    // The frame and caption take their share of the window.
    EXPECT_EQ(width, c.window_width - 2 * halvex::testing::kSizingFrameWidth);
    EXPECT_EQ(height, c.window_height - 2 * halvex::testing::kSizingFrameWidth -
                          halvex::testing::kCaptionHeight);

    const HWND view = ViewOf(hwnd);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(halvex::testing::ClientRectOf(view), client);
    EXPECT_TRUE(InspectWindow(view)->focused);
  }
}

TEST_F(FlutterWindowTest, PluginsAreRegisteredInOrderBeforeTheRecorderChannel) {
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  EXPECT_THAT(engine_testing::RegistrarRequests(),
              ElementsAre("FlutterWebRTCPlugin", "GalPluginCApi", "PermissionHandlerWindowsPlugin",
                          "UrlLauncherWindows"));
  // Each plug-in puts a channel of its own on the messenger as it registers.
  EXPECT_THAT(
      engine_testing::ChannelRegistrations(),
      ElementsAre("flutter_webrtc_plugin", "gal_plugin", "permission_handler_windows_plugin",
                  "url_launcher_windows_plugin", "com.halvex.camera/desktop_recorder"));
}

TEST_F(FlutterWindowTest, RefusedViewControllerFailsCreationAndRegistersNothing) {
  engine_testing::FailViewControllerCreation(true);
  FlutterWindow window(project_);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(window.Create(L"Halvex", kOrigin, kSize));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");

  EXPECT_THAT(engine_testing::RegistrarRequests(), IsEmpty());
  EXPECT_THAT(engine_testing::ChannelRegistrations(), IsEmpty());
  EXPECT_EQ(engine_testing::CallCounts().force_redraw, 0);
  const HWND hwnd = window.window_handle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(ViewOf(hwnd), nullptr);
  halvex::testing::DispatchPendingMessages();
  EXPECT_FALSE(InspectWindow(hwnd)->visible);
  EXPECT_TRUE(InspectWindow(hwnd)->show_commands.empty());
}

TEST_F(FlutterWindowTest, MessagesTheEngineHandlesGetItsResultAndGoNoFurther) {
  halvex::testing::SetRegistryDword(kPersonalizeKey, L"AppsUseLightTheme", 1);
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  const HWND view = ViewOf(hwnd);
  const RECT view_client = halvex::testing::ClientRectOf(view);

  engine_testing::ConsumeTopLevelMessage(WM_FONTCHANGE, 42);
  engine_testing::ConsumeTopLevelMessage(WM_DWMCOLORIZATIONCOLORCHANGED, 0);
  engine_testing::ConsumeTopLevelMessage(WM_SIZE, -3);

  EXPECT_EQ(::SendMessageW(hwnd, WM_FONTCHANGE, 0, 0), 42);
  EXPECT_EQ(engine_testing::CallCounts().reload_system_fonts, 0);

  halvex::testing::SetRegistryDword(kPersonalizeKey, L"AppsUseLightTheme", 0);
  EXPECT_EQ(::SendMessageW(hwnd, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
  EXPECT_EQ(halvex::testing::GetDwmAttributeDword(hwnd, DWMWA_USE_IMMERSIVE_DARK_MODE), 0u);

  // The resize itself happens; only the window's own WM_SIZE handling, which would follow it
  // with the view, is skipped.
  ASSERT_TRUE(::SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOMOVE));
  EXPECT_EQ(halvex::testing::ClientRectOf(view), view_client);
  EXPECT_EQ(::SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, 0), -3);
}

TEST_F(FlutterWindowTest, FontChangesReloadFontsAndStillReachTheWindow) {
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  for (int expected_reloads = 1; expected_reloads <= 2; ++expected_reloads) {
    halvex::testing::ClearMessages(hwnd);
    EXPECT_EQ(::SendMessageW(hwnd, WM_FONTCHANGE, 0, 0), 0);
    EXPECT_EQ(engine_testing::CallCounts().reload_system_fonts, expected_reloads);
  }
  // Messages the engine leaves alone still get the window's handling.
  const HWND view = ViewOf(hwnd);
  ASSERT_TRUE(::SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOMOVE));
  EXPECT_EQ(halvex::testing::ClientRectOf(view), halvex::testing::ClientRectOf(hwnd));
}

// Sends WM_FONTCHANGE to itself while its native window exists but its engine does not yet.
class FontChangeBeforeTheEngine : public FlutterWindow {
 public:
  using FlutterWindow::FlutterWindow;
  LRESULT font_change_result = -1;

 protected:
  bool OnCreated() override {
    font_change_result = ::SendMessageW(window_handle(), WM_FONTCHANGE, 0, 0);
    return FlutterWindow::OnCreated();
  }
};

TEST_F(FlutterWindowTest, FontChangeWithoutAnEngineGoesStraightToTheWindow) {
  FontChangeBeforeTheEngine window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  EXPECT_EQ(window.font_change_result, 0);
  EXPECT_EQ(engine_testing::CallCounts().reload_system_fonts, 0);
}

TEST_F(FlutterWindowTest, ClosingTheWindowEndsTheEngineBeforeTheObjectGoes) {
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  window.SetQuitWhenClosed(true);
  const HWND hwnd = window.window_handle();
  const HWND view = ViewOf(hwnd);

  ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(engine_testing::CallCounts().view_controller_destroy, 1);
  // The engine belongs to the library from the view controller on: the host never destroys it.
  EXPECT_EQ(engine_testing::CallCounts().engine_destroy, 0);
  EXPECT_TRUE(InspectWindow(hwnd)->destroyed);
  EXPECT_TRUE(InspectWindow(view)->destroyed);
  EXPECT_TRUE(halvex::testing::TakeQuitMessage());

  // The class outlives the native window as long as the object exists.
  EXPECT_TRUE(halvex::testing::InspectClass(L"FLUTTER_RUNNER_WIN32_WINDOW").has_value());
}

TEST_F(FlutterWindowTest, DestroyingTheObjectEndsTheEngineAndTheWindow) {
  HWND hwnd = nullptr;
  {
    FlutterWindow window(project_);
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
    hwnd = window.window_handle();
  }
  EXPECT_EQ(engine_testing::CallCounts().view_controller_destroy, 1);
  EXPECT_EQ(engine_testing::CallCounts().engine_destroy, 0);
  EXPECT_TRUE(InspectWindow(hwnd)->destroyed);
  EXPECT_FALSE(halvex::testing::InspectClass(L"FLUTTER_RUNNER_WIN32_WINDOW").has_value());
  EXPECT_FALSE(halvex::testing::TakeQuitMessage());
}

TEST_F(FlutterWindowTest, EachViewControllerGetsTheWindowsCopyOfTheProject) {
  EngineProject project(L"assets-here");
  project.entrypoint_arguments = {"--one", "two"};
  FlutterWindow window(project);
  // Changes after construction do not reach the window's copy.
  project.entrypoint_arguments.clear();
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const engine_testing::RecordedEngineProperties properties =
      engine_testing::LastEngineProperties();
  EXPECT_EQ(properties.aot_library_path, L"assets-here\\app.so");
  EXPECT_THAT(properties.entrypoint_arguments, ElementsAre("--one", "two"));
}

}  // namespace

namespace {

// The session ending closes the window and completes a running recording before the answer, for
// the process may be ended as soon as it is given; asking whether it may end changes nothing.
TEST_F(FlutterWindowTest, TheSessionEndingClosesTheWindowAndCompletesTheRecording) {
  halvex::testing::ResetMediaFoundation();
  halvex::testing::ResetImaging();
  FlutterWindow window(project_);
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  window.SetQuitWhenClosed(true);
  const HWND hwnd = window.window_handle();

  halvex::DesktopRecorder& recorder = halvex::DesktopRecorder::Instance();
  ASSERT_TRUE(recorder.Start("session.mp4", 30.0, "", "", false));
  const std::vector<uint8_t> png = halvex::testing::PngLikeBytes(4242);
  ASSERT_TRUE(halvex::testing::ScriptImage(png, 4, 2, std::vector<uint8_t>(4 * 2 * 4, 0x80)));
  ASSERT_EQ(recorder.AppendPng(png.data(), png.size()), 1);

  EXPECT_EQ(::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_FALSE(InspectWindow(hwnd)->destroyed);
  EXPECT_TRUE(halvex::testing::SinkWriters().at(0).finalize_results.empty());

  EXPECT_EQ(::SendMessageW(hwnd, WM_ENDSESSION, TRUE, 0), 0);
  EXPECT_TRUE(InspectWindow(hwnd)->destroyed);
  EXPECT_EQ(window.window_handle(), nullptr);
  EXPECT_EQ(halvex::testing::SinkWriters().at(0).finalize_results.size(), 1u);
  EXPECT_EQ(recorder.Stop().frames, 1) << "stopped already: the counts repeat";
  halvex::testing::ResetMediaFoundation();
  halvex::testing::ResetImaging();
}

}  // namespace
