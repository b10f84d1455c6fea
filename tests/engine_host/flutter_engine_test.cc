// The project and engine wrappers against the recording fake of the engine library.
#include "engine_host/flutter_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine_host/engine_project.h"
#include "engine_library_fake.h"

namespace {

using halvex::testing::PointerText;
using halvex::testing::ScopedFakeEngineLibrary;
using halvex::testing::SeenProperties;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

template <typename T>
T ReadAt(const SeenProperties& seen, size_t offset) {
  T value;
  std::memcpy(&value, seen.bytes.data() + offset, sizeof(value));
  return value;
}

bool AllZero(const SeenProperties& seen, size_t offset, size_t count) {
  for (size_t i = offset; i < offset + count; ++i) {
    if (seen.bytes[i] != 0) {
      return false;
    }
  }
  return true;
}

TEST(EngineProjectTest, AppendsTheThreeNamesToTheDataDirectory) {
  struct Case {
    std::wstring directory;
    std::wstring assets;
    std::wstring icu;
    std::wstring aot;
  };
  const Case cases[] = {
      {L"data", L"data\\flutter_assets", L"data\\icudtl.dat", L"data\\app.so"},
      {L"C:\\Program Files\\Halvex\\data", L"C:\\Program Files\\Halvex\\data\\flutter_assets",
       L"C:\\Program Files\\Halvex\\data\\icudtl.dat", L"C:\\Program Files\\Halvex\\data\\app.so"},
      {L"", L"\\flutter_assets", L"\\icudtl.dat", L"\\app.so"},
  };
  for (const Case& c : cases) {
    EngineProject project(c.directory);
    EXPECT_EQ(project.asset_directory, c.assets);
    EXPECT_EQ(project.icu_data_file, c.icu);
    EXPECT_EQ(project.aot_library_file, c.aot);
    EXPECT_EQ(project.entrypoint, "");
    EXPECT_THAT(project.entrypoint_arguments, IsEmpty());
    EXPECT_EQ(project.engine_options, (std::array<int32_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(project.engine_option_flag, 0);
  }
}

TEST(FlutterEngineTest, PropertiesRecordIsLaidOutByteForByte) {
  struct Case {
    const char* name;
    std::string entrypoint;
    std::vector<std::string> arguments;
    std::array<int32_t, 4> options;
    uint8_t flag;
  };
  const Case cases[] = {
      {"no arguments", "", {}, {0, 0, 0, 0}, 0},
      {"two arguments in order", "main", {"--fps", "24"}, {0, 0, 0, 0}, 0},
      {"one empty argument", "", {""}, {0, 0, 0, 0}, 0},
      {"options and flag", "custom", {"x"}, {1, -2, 0x7fffffff, -2147483647 - 1}, 0xA5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFakeEngineLibrary fake;
    EngineProject project(L"data");
    project.entrypoint = c.entrypoint;
    project.entrypoint_arguments = c.arguments;
    project.engine_options = c.options;
    project.engine_option_flag = c.flag;

    flutter::FlutterEngine engine(project);

    ASSERT_EQ(fake->properties.size(), 1u);
    const SeenProperties& seen = fake->properties[0];
    // The texts are the project's own, not copies.
    EXPECT_EQ(ReadAt<const wchar_t*>(seen, 0), project.asset_directory.c_str());
    EXPECT_EQ(ReadAt<const wchar_t*>(seen, 8), project.icu_data_file.c_str());
    EXPECT_EQ(ReadAt<const wchar_t*>(seen, 16), project.aot_library_file.c_str());
    EXPECT_EQ(ReadAt<const char*>(seen, 24), project.entrypoint.c_str());
    EXPECT_EQ(seen.assets_path, L"data\\flutter_assets");
    EXPECT_EQ(seen.icu_data_path, L"data\\icudtl.dat");
    EXPECT_EQ(seen.aot_library_path, L"data\\app.so");
    EXPECT_FALSE(seen.entrypoint_null) << "an empty entrypoint is an empty string, never null";
    EXPECT_EQ(seen.entrypoint, c.entrypoint);
    EXPECT_EQ(ReadAt<int32_t>(seen, 32), static_cast<int32_t>(c.arguments.size()));
    EXPECT_TRUE(AllZero(seen, 36, 4));
    if (c.arguments.empty()) {
      EXPECT_EQ(ReadAt<const char**>(seen, 40), nullptr);
    } else {
      EXPECT_NE(ReadAt<const char**>(seen, 40), nullptr);
    }
    EXPECT_EQ(seen.arguments, c.arguments);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(ReadAt<int32_t>(seen, 48 + 4 * i), c.options[i]) << "option " << i;
    }
    EXPECT_EQ(seen.bytes[64], c.flag);
    EXPECT_TRUE(AllZero(seen, 65, 7));
  }
}

TEST(FlutterEngineTest, CreatesTheEngineThenAsksForItsMessenger) {
  ScopedFakeEngineLibrary fake;
  flutter::FlutterEngine engine{EngineProject(L"data")};
  EXPECT_THAT(fake->calls,
              ElementsAre("EngineCreate", "EngineGetMessenger(" + PointerText(fake->engine) + ")"));
  EXPECT_NE(engine.Messenger(), nullptr);
}

TEST(FlutterEngineTest, DestroysTheEngineOnlyWhileItOwnsIt) {
  struct Case {
    const char* name;
    bool release;
    bool refuse_engine;
    bool expect_destroy;
  };
  const Case cases[] = {
      {"owned", false, false, true},
      {"released", true, false, false},
      {"never created", false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFakeEngineLibrary fake;
    fake->refuse_engine = c.refuse_engine;
    {
      flutter::FlutterEngine engine{EngineProject(L"data")};
      if (c.release) {
        EXPECT_EQ(engine.ReleaseHandle(), fake->engine);
        // Still used for everything else after the release.
        engine.ReloadFonts();
        EXPECT_EQ(fake->calls.back(), "EngineReloadSystemFonts(" + PointerText(fake->engine) + ")");
      }
      fake->calls.clear();
    }
    const std::string destroy = "EngineDestroy(" + PointerText(fake->engine) + ")";
    if (c.expect_destroy) {
      EXPECT_THAT(fake->calls, ElementsAre(destroy));
    } else {
      EXPECT_THAT(fake->calls, IsEmpty());
    }
  }
}

TEST(FlutterEngineTest, RegistrarLookup) {
  {
    ScopedFakeEngineLibrary fake;
    flutter::FlutterEngine engine{EngineProject(L"data")};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(engine.RegistrarForPlugin("GalPluginCApi"), fake->registrar);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(fake->calls.back(),
              "EngineGetPluginRegistrar(" + PointerText(fake->engine) + ", GalPluginCApi)");
  }
  {
    ScopedFakeEngineLibrary fake;
    fake->refuse_engine = true;
    flutter::FlutterEngine engine{EngineProject(L"data")};
    fake->calls.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(engine.RegistrarForPlugin("GalPluginCApi"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
    EXPECT_THAT(fake->calls, IsEmpty());
  }
}

// Each callable records its calls and, through a token it holds, whether it still exists.
struct ProbedCallback {
  std::shared_ptr<int> calls = std::make_shared<int>(0);
  std::weak_ptr<int> alive = calls;

  std::function<void()> Make() const {
    std::shared_ptr<int> counter = calls;
    return [counter] { ++*counter; };
  }
};

TEST(FlutterEngineTest, NextFrameCallbackIsReplacedAndRunsOnce) {
  struct Case {
    const char* name;
    int callbacks_set;  // before the first frame
    int frames;
    std::vector<int> expected_calls;  // per callback
  };
  const Case cases[] = {
      {"one callback, one frame", 1, 1, {1}},
      {"one callback, two frames", 1, 2, {1}},
      {"replaced before the frame", 2, 1, {0, 1}},
      {"replaced, three frames", 2, 3, {0, 1}},
      {"no frame", 1, 0, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedFakeEngineLibrary fake;
    flutter::FlutterEngine engine{EngineProject(L"data")};
    std::vector<ProbedCallback> probes(static_cast<size_t>(c.callbacks_set));
    for (ProbedCallback& probe : probes) {
      engine.OnNextFrame(probe.Make());
      EXPECT_EQ(fake->next_frame_callback, &flutter::FlutterEngine::NextFrameTrampoline);
      EXPECT_EQ(fake->next_frame_user_data, &engine);
    }
    // A replaced callable is destroyed at once, without being called.
    for (size_t i = 0; i + 1 < probes.size(); ++i) {
      std::weak_ptr<int> alive = probes[i].alive;
      probes[i].calls.reset();
      EXPECT_TRUE(alive.expired()) << "callback " << i;
    }
    for (int frame = 0; frame < c.frames; ++frame) {
      fake->DrawFrame();
    }
    for (size_t i = 0; i < probes.size(); ++i) {
      if (probes[i].calls != nullptr) {
        EXPECT_EQ(*probes[i].calls, c.expected_calls[i]) << "callback " << i;
      } else {
        EXPECT_EQ(c.expected_calls[i], 0) << "callback " << i;
      }
    }
  }
}

TEST(FlutterEngineTest, NextFrameCallbackMaySetTheNextOne) {
  ScopedFakeEngineLibrary fake;
  flutter::FlutterEngine engine{EngineProject(L"data")};
  std::vector<std::string> runs;
  engine.OnNextFrame([&] {
    runs.push_back("first");
    engine.OnNextFrame([&] { runs.push_back("second"); });
  });
  fake->DrawFrame();
  fake->DrawFrame();
  fake->DrawFrame();
  EXPECT_THAT(runs, ElementsAre("first", "second"));
}

TEST(FlutterEngineTest, StoredCallbackIsDestroyedUncalledWithTheEngine) {
  ScopedFakeEngineLibrary fake;
  ProbedCallback probe;
  {
    flutter::FlutterEngine engine{EngineProject(L"data")};
    engine.OnNextFrame(probe.Make());
  }
  std::weak_ptr<int> alive = probe.alive;
  EXPECT_EQ(*probe.calls, 0);
  probe.calls.reset();
  EXPECT_TRUE(alive.expired());
}

}  // namespace
