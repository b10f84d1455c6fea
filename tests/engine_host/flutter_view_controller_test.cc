// The view controller and view wrappers against the recording fake of the engine library.
#include "engine_host/flutter_view_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "engine_library_fake.h"

namespace {

using halvex::testing::PointerText;
using halvex::testing::ScopedFakeEngineLibrary;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(FlutterViewControllerTest, CreatesEngineThenViewControllerThenView) {
  ScopedFakeEngineLibrary fake;
  flutter::FlutterViewController controller(1264, 681, EngineProject(L"data"));
  const std::string engine = PointerText(fake->engine);
  EXPECT_THAT(fake->calls,
              ElementsAre("EngineCreate", "EngineGetMessenger(" + engine + ")",
                          "ViewControllerCreate(1264, 681, " + engine + ")",
                          "ViewControllerGetView(" + PointerText(fake->controller) + ")"));
  ASSERT_NE(controller.Engine(), nullptr);
  ASSERT_NE(controller.View(), nullptr);
  EXPECT_EQ(controller.View()->WindowHandle(), fake->view_window);
  EXPECT_EQ(fake->calls.back(), "ViewGetHWND(" + PointerText(fake->view) + ")");
}

TEST(FlutterViewControllerTest, RefusedViewControllerKeepsTheEngineAndHasNoView) {
  ScopedFakeEngineLibrary fake;
  fake->refuse_view_controller = true;
  {
    ::testing::internal::CaptureStderr();
    flutter::FlutterViewController controller(800, 600, EngineProject(L"data"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
    EXPECT_NE(controller.Engine(), nullptr);
    EXPECT_EQ(controller.View(), nullptr);

    fake->calls.clear();
    EXPECT_EQ(controller.HandleTopLevelMessage(nullptr, WM_FONTCHANGE, 0, 0), std::nullopt);
    controller.RequestRedraw();
    EXPECT_THAT(fake->calls, IsEmpty());
  }
  // The library took the engine over; neither it nor a controller is destroyed by the wrappers.
  EXPECT_THAT(fake->calls, IsEmpty());
}

TEST(FlutterViewControllerTest, DestroysTheLibraryControllerBeforeTheWrappers) {
  ScopedFakeEngineLibrary fake;
  std::shared_ptr<int> token = std::make_shared<int>(0);
  std::weak_ptr<int> engine_wrapper_alive = token;
  bool wrapper_alive_during_destroy = false;
  {
    flutter::FlutterViewController controller(640, 480, EngineProject(L"data"));
    // The engine wrapper holds the token through its stored callback until it goes away.
    controller.Engine()->OnNextFrame([token] {});
    token.reset();
    fake->on_view_controller_destroy = [&] {
      wrapper_alive_during_destroy = !engine_wrapper_alive.expired();
    };
    fake->calls.clear();
  }
  EXPECT_THAT(fake->calls,
              ElementsAre("ViewControllerDestroy(" + PointerText(fake->controller) + ")"));
  EXPECT_TRUE(wrapper_alive_during_destroy);
  EXPECT_TRUE(engine_wrapper_alive.expired());
}

TEST(FlutterViewControllerTest, TopLevelMessageResultIsOptional) {
  struct Case {
    const char* name;
    std::optional<LRESULT> engine_result;
  };
  const Case cases[] = {
      {"not handled", std::nullopt},
      {"handled with 0", 0},
      {"handled with 1", 1},
      {"handled with a negative result", -42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFakeEngineLibrary fake;
    fake->top_level_result = c.engine_result;
    flutter::FlutterViewController controller(640, 480, EngineProject(L"data"));
    HWND window = reinterpret_cast<HWND>(0x7000);
    fake->calls.clear();

    std::optional<LRESULT> result = controller.HandleTopLevelMessage(window, WM_SIZE, 3, 9);

    EXPECT_EQ(result, c.engine_result);
    EXPECT_THAT(
        fake->calls,
        ElementsAre("ViewControllerHandleTopLevelWindowProc(" + PointerText(fake->controller) +
                    ", " + PointerText(window) + ", " + std::to_string(WM_SIZE) + ", 3, 9)"));
  }
}

TEST(FlutterViewControllerTest, RedrawAndFontReloadReachTheLibrary) {
  ScopedFakeEngineLibrary fake;
  flutter::FlutterViewController controller(640, 480, EngineProject(L"data"));
  fake->calls.clear();
  controller.RequestRedraw();
  controller.Engine()->ReloadFonts();
  EXPECT_THAT(fake->calls,
              ElementsAre("ViewControllerForceRedraw(" + PointerText(fake->controller) + ")",
                          "EngineReloadSystemFonts(" + PointerText(fake->engine) + ")"));
}

}  // namespace
