#include "app/application.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/png_encoder.h"
#include "app/scene.h"
#include "tests/end_to_end/fake_recorder_engine.h"
#include "tests/end_to_end/scratch_directory.h"

namespace halvex {
namespace demo {
namespace {

using testing::FakeRecorderEngine;
using testing::ScratchDirectory;

struct AppRun {
  int status;
  std::string out;
  std::string err;
};

AppRun RunApp(const HalvexEngineServices* services, const std::vector<std::string>& arguments) {
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunApplication(services, static_cast<int>(argv.size()),
                                    argv.empty() ? nullptr : argv.data(), out, err);
  return AppRun{status, out.str(), err.str()};
}

TEST(ApplicationTest, HelpAndBadOptionsNeverTouchTheEngine) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"--help"}, kExitSuccess, ""},
      {{"--fps", "0"},
       kExitUsage,
       "demo: --fps takes a number of frames per second from 1 to 30 (the recorder's range), not "
       "'0'\ndemo: run with --help to see the options\n"},
      {{"--wat"},
       kExitUsage,
       "demo: unknown option '--wat'\ndemo: run with --help to see the options\n"},
  };
  for (const Case& test : cases) {
    FakeRecorderEngine fake;
    const AppRun run = RunApp(fake.services(), test.arguments);
    EXPECT_EQ(run.status, test.status);
    EXPECT_EQ(run.err, test.err);
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_EQ(fake.frames_drawn(), 0);
    EXPECT_EQ(run.out, test.status == kExitSuccess ? UsageText() : "");
  }
  // Help needs no engine at all.
  EXPECT_EQ(RunApp(nullptr, {"--help"}).status, kExitSuccess);
}

TEST(ApplicationTest, MalformedEntryIsRefused) {
  FakeRecorderEngine fake;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunApplication(fake.services(), 2, nullptr, out, err), kExitUsage);
  EXPECT_EQ(err.str(), "demo: the engine passed 2 arguments without their text\n");

  const char* const with_hole[] = {"--fast", nullptr};
  err.str("");
  EXPECT_EQ(RunApplication(fake.services(), 2, with_hole, out, err), kExitUsage);
  EXPECT_EQ(err.str(), "demo: entrypoint argument 1 is missing\n");

  const AppRun no_engine = RunApp(nullptr, {"--fast"});
  EXPECT_EQ(no_engine.status, kExitFailure);
  EXPECT_EQ(no_engine.err, "demo: the engine passed no services\n");
  EXPECT_TRUE(fake.calls().empty());
}

TEST(ApplicationTest, RecordsAFolderOfFramesInNameOrder) {
  ScratchDirectory folder;
  std::vector<std::vector<uint8_t>> pngs;
  for (int64_t index = 0; index < 3; ++index) {
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(EncodePng(DrawTestScene(10, 8, index, 10), &png, &error)) << error;
    pngs.push_back(png);
  }
  folder.Write("shot-03.png", pngs[2]);
  folder.Write("shot-01.png", pngs[0]);
  folder.Write("shot-02.png", pngs[1]);

  FakeRecorderEngine fake;
  const std::string output = (folder.path() / "clip.mp4").string();
  const AppRun run = RunApp(fake.services(), {"--frames", folder.path().string(), "--fast",
                                              "--no-audio", "--output", output});
  EXPECT_EQ(run.status, kExitSuccess) << run.err;
  ASSERT_EQ(fake.calls().size(), 5u);
  for (size_t index = 0; index < 3; ++index) {
    const auto& arguments = std::get<flutter::EncodableMap>(fake.calls()[1 + index].arguments);
    EXPECT_EQ(std::get<std::vector<uint8_t>>(*flutter::LookupTextKey(arguments, "bytes")),
              pngs[index]);
  }
  EXPECT_EQ(fake.frames_drawn(), 3);
  EXPECT_NE(run.out.find("  frames sent: 3\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  output: " + output + "\n"), std::string::npos) << run.out;
}

TEST(ApplicationTest, UnusableFramesFolderIsAnOptionsError) {
  ScratchDirectory empty;
  FakeRecorderEngine fake;
  const AppRun run = RunApp(fake.services(), {"--frames", empty.path().string()});
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.err,
            "demo: --frames: the folder '" + empty.path().string() + "' holds no .png file\n");
  EXPECT_TRUE(fake.calls().empty());
}

}  // namespace
}  // namespace demo
}  // namespace halvex
