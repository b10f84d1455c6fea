// The plug-in stand-ins: each registers a channel of its own name that declines every call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine_test_support.h"
#include "platform/engine/engine_testing.h"
#include "platform/plugins/plugin_registration.h"
#include "test_application.h"
#include "windows_testing/desktop.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct Plugin {
  const char* registrar_name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef);
  const char* channel;
};

const Plugin kPlugins[] = {
    {"FlutterWebRTCPlugin", &FlutterWebRTCPluginRegisterWithRegistrar, "flutter_webrtc_plugin"},
    {"GalPluginCApi", &GalPluginCApiRegisterWithRegistrar, "gal_plugin"},
    {"PermissionHandlerWindowsPlugin", &PermissionHandlerWindowsPluginRegisterWithRegistrar,
     "permission_handler_windows_plugin"},
    {"UrlLauncherWindows", &UrlLauncherWindowsRegisterWithRegistrar, "url_launcher_windows_plugin"},
};

TEST(PluginsTest, EachRegistersItsChannelAndDeclinesEveryCall) {
  halvex::testing::ScopedDesktop desktop;
  halvex::engine_testing::ResetEngineTesting();
  halvex::testing::ResetTestApplication();
  halvex::testing::TopLevelWindow top_level;

  std::vector<std::string> commands;
  std::vector<std::string> expected_outcomes = {"args=4"};
  std::vector<std::string> expected_channels;
  for (const Plugin& plugin : kPlugins) {
    commands.push_back(std::string("send:") + plugin.channel + ":call");
    expected_outcomes.push_back(std::string(plugin.channel) + "=empty");
    expected_channels.push_back(plugin.channel);
  }
  FlutterDesktopEngineRef engine =
      halvex::testing::CreateEngine(halvex::testing::kTestApplicationPath, commands);
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(
        FlutterDesktopEngineGetPluginRegistrar(engine, plugin.registrar_name));
  }
  EXPECT_THAT(halvex::engine_testing::ChannelRegistrations(), ElementsAreArray(expected_channels));

  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(64, 64, engine);
  ASSERT_NE(controller, nullptr);
  SetParent(FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller)),
            top_level.handle());
  const bool closed =
      halvex::testing::PumpMessagesUntil([&] { return top_level.close_requests() > 0; });
  FlutterDesktopViewControllerDestroy(controller);

  EXPECT_TRUE(closed);
  // Every call was answered (the application would still be waiting otherwise), and declined.
  EXPECT_THAT(halvex::testing::TestApplicationOutcomes(), ElementsAreArray(expected_outcomes));
}

TEST(PluginsTest, NullRegistrarIsIgnored) {
  halvex::engine_testing::ResetEngineTesting();
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(nullptr);
  }
  EXPECT_THAT(halvex::engine_testing::ChannelRegistrations(), IsEmpty());
}

}  // namespace
