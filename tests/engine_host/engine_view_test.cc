// The engine stand-in's view showing the pictures the application hands over.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine_host/engine_library_windows.h"
#include "engine_test_support.h"
#include "platform/engine/engine_testing.h"
#include "test_application.h"
#include "windows_testing/desktop.h"
#include "windows_testing/painting.h"

namespace {

using halvex::testing::InspectPainting;
using halvex::testing::PumpMessagesUntil;
using halvex::testing::TestApplicationOutcomes;
using halvex::testing::WindowPainting;
using ::testing::ElementsAreArray;

constexpr int kViewWidth = 320;
constexpr int kViewHeight = 240;

class EngineViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    halvex::engine_testing::ResetEngineTesting();
    halvex::testing::ResetTestApplication();
  }

  void TearDown() override { StopEngine(); }

  // Runs the test application with `commands` in a view inside a shown window, as a host does.
  void StartEngine(const std::vector<std::string>& commands) {
    FlutterDesktopEngineRef engine =
        halvex::testing::CreateEngine(halvex::testing::kTestApplicationPath, commands);
    ASSERT_NE(engine, nullptr);
    FlutterDesktopMessengerSetCallback(FlutterDesktopEngineGetMessenger(engine), "test/hold",
                                       &EngineViewTest::HoldMessage, this);
    controller_ = FlutterDesktopViewControllerCreate(kViewWidth, kViewHeight, engine);
    ASSERT_NE(controller_, nullptr);
    view_window_ = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_));
    SetParent(view_window_, top_level_->handle());
    ShowWindow(top_level_->handle(), SW_SHOW);
  }

  void StopEngine() {
    if (controller_ != nullptr) {
      FlutterDesktopViewControllerDestroy(controller_);
      controller_ = nullptr;
    }
  }

  bool RunUntilTheApplicationEnds() {
    return PumpMessagesUntil([this] { return top_level_->close_requests() > 0; });
  }

  // Runs the message loop until the view has drawn a picture and nothing is left to paint.
  bool RunUntilPainted() {
    return PumpMessagesUntil([this] {
      const WindowPainting painting = *InspectPainting(view_window_);
      return painting.stretches > 0 && !painting.update_pending;
    });
  }

  static void HoldMessage(FlutterDesktopMessengerRef /*messenger*/,
                          const FlutterDesktopMessage* /*message*/,
                          void* user_data) {
    static_cast<EngineViewTest*>(user_data)->held_ = true;
  }

  halvex::testing::ScopedDesktop desktop_;
  std::unique_ptr<halvex::testing::TopLevelWindow> top_level_ =
      std::make_unique<halvex::testing::TopLevelWindow>();
  FlutterDesktopViewControllerRef controller_ = nullptr;
  HWND view_window_ = nullptr;
  bool held_ = false;
};

// The colours of the left and right halves of the view.
void ExpectHalves(const WindowPainting& painting, uint32_t left, uint32_t right) {
  ASSERT_EQ(painting.width, kViewWidth);
  ASSERT_EQ(painting.height, kViewHeight);
  for (const int y : {0, kViewHeight / 2, kViewHeight - 1}) {
    EXPECT_EQ(painting.At(0, y), left) << "y " << y;
    EXPECT_EQ(painting.At(kViewWidth / 2 - 1, y), left) << "y " << y;
    EXPECT_EQ(painting.At(kViewWidth / 2, y), right) << "y " << y;
    EXPECT_EQ(painting.At(kViewWidth - 1, y), right) << "y " << y;
  }
}

TEST_F(EngineViewTest, PresentFrameTakesUsablePicturesAndRefusesTheRestWithOneLineEach) {
  struct Case {
    const char* command;
    const char* outcome;
  };
  const Case cases[] = {
      {"present:4:2:16:ff0000", "present 4:2:16=1"},
      {"present:8192:1:32768:ff0000", "present 8192:1:32768=1"},  // the largest side
      {"present:4:2:24:00ff00", "present 4:2:24=1"},              // rows with a gap between
      // Refused from here on, so the picture above stays.
      {"present:0:2:16:ff0000", "present 0:2:16=0"},
      {"present:-4:2:16:ff0000", "present -4:2:16=0"},
      {"present:4:0:16:ff0000", "present 4:0:16=0"},
      {"present:8193:1:32772:ff0000", "present 8193:1:32772=0"},
      {"present:1:8193:4:ff0000", "present 1:8193:4=0"},
      {"present:4:2:15:ff0000", "present 4:2:15=0"},  // a row shorter than its pixels
      {"present:4:3:18446744073709551615:ff0000", "present 4:3:18446744073709551615=0"},
      {"present-null", "present null=0"},
      {"present-without-engine", "present without engine=0"},
  };
  std::vector<std::string> commands;
  std::vector<std::string> outcomes = {"args=" + std::to_string(std::size(cases))};
  for (const Case& c : cases) {
    commands.push_back(c.command);
    outcomes.push_back(c.outcome);
  }
  ::testing::internal::CaptureStderr();
  StartEngine(commands);
  const bool ended = RunUntilTheApplicationEnds();
  const bool painted = RunUntilPainted();
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();

  ASSERT_TRUE(ended);
  ASSERT_TRUE(painted);
  EXPECT_THAT(TestApplicationOutcomes(), ElementsAreArray(outcomes));
  EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 9) << diagnostics;
  ExpectHalves(*InspectPainting(view_window_), 0x00FF00, 0xFF00FF);
}

TEST_F(EngineViewTest, ViewPaintsTheLatestPictureScaledToItsClientArea) {
  struct Case {
    const char* name;
    std::vector<std::string> commands;
    uint32_t left;
    uint32_t right;
  };
  const Case cases[] = {
      {"one picture, enlarged", {"present:4:2:16:ff0000"}, 0xFF0000, 0x00FFFF},
      {"the second of two", {"present:4:2:16:ff0000", "present:2:2:12:0000ff"}, 0x0000FF, 0xFFFF00},
      {"shrunk", {"present:640:480:2560:123456"}, 0x123456, 0xEDCBA9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    top_level_ = std::make_unique<halvex::testing::TopLevelWindow>();
    StartEngine(c.commands);
    ASSERT_TRUE(RunUntilTheApplicationEnds());
    ASSERT_TRUE(RunUntilPainted());
    const WindowPainting painting = *InspectPainting(view_window_);
    EXPECT_GE(painting.invalidations, 1);
    ExpectHalves(painting, c.left, c.right);
    StopEngine();
  }
}

TEST_F(EngineViewTest, WithoutAPictureTheViewIsNeverInvalidatedNorDrawn) {
  StartEngine({"frame"});
  ASSERT_TRUE(RunUntilTheApplicationEnds());
  InvalidateRect(view_window_, nullptr, FALSE);
  ASSERT_TRUE(PumpMessagesUntil([this] { return !InspectPainting(view_window_)->update_pending; }));
  const WindowPainting painting = *InspectPainting(view_window_);
  EXPECT_EQ(painting.invalidations, 1) << "only the test's own";
  EXPECT_EQ(painting.stretches, 0);
}

TEST_F(EngineViewTest, PictureAfterShutDownIsRefusedAndTouchesNoWindow) {
  StartEngine({"send:test/hold:x", "present:4:2:16:ff0000"});
  ASSERT_TRUE(PumpMessagesUntil([this] { return held_; }));
  const HWND view = view_window_;
  StopEngine();
  EXPECT_THAT(TestApplicationOutcomes(),
              ElementsAreArray({"args=2", "test/hold=none", "present 4:2:16=0"}));
  EXPECT_FALSE(IsWindow(view));
  EXPECT_EQ(InspectPainting(view)->invalidations, 0);
}

}  // namespace
