// Runs the built host with the demo application, as a user would, and checks what it reports.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/png_encoder.h"
#include "app/scene.h"
#include "tests/end_to_end/process_runner.h"
#include "tests/end_to_end/scratch_directory.h"

namespace halvex {
namespace demo {
namespace {

using testing::ProcessResult;
using testing::RunProcess;
using testing::ScratchDirectory;

// Whether the media stand-ins decode PNG frames and write real files; until they do, the recorder
// answers every frame with success but writes none of them.
constexpr bool kRealMedia = HALVEX_REAL_MEDIA != 0;

constexpr std::chrono::seconds kRunLimit(120);
// The frames the demo keeps waiting for their answers unless told otherwise.
constexpr int kDefaultFramesInFlight = 2;

ProcessResult RunHost(const std::vector<std::string>& arguments,
                      const std::filesystem::path& working_directory) {
  return RunProcess(HALVEX_HOST_PATH, arguments, working_directory.string(), kRunLimit);
}

std::optional<int64_t> SummaryNumber(const std::string& out, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(out, match, std::regex("\n  " + label + ": (\\d+)"))) {
    return std::nullopt;
  }
  return std::stoll(match[1].str());
}

std::string Describe(const ProcessResult& run) {
  return "exit " + std::to_string(run.exit_code) + ", signal " + std::to_string(run.signal) +
         (run.timed_out ? ", timed out" : "") + "\n--- stdout\n" + run.out + "\n--- stderr\n" +
         run.err;
}

// The replies the demo summarised: every frame sent was answered with success, "stop" answered,
// and the count it reported is the count sent. With the stand-in decoder the recorder drops every
// frame, so its count is then 0: never a part of the frames.
void ExpectRepliesAccountForEveryFrame(const ProcessResult& run, int64_t frames) {
  EXPECT_NE(run.out.find("Recording finished.\n"), std::string::npos) << Describe(run);
  EXPECT_EQ(SummaryNumber(run.out, "frames sent"), frames) << Describe(run);
  EXPECT_EQ(SummaryNumber(run.out, "appendPng successes"), frames) << Describe(run);
  const std::optional<int64_t> written = SummaryNumber(run.out, "frames written");
  ASSERT_TRUE(written.has_value()) << "\"stop\" did not answer\n" << Describe(run);
  if (kRealMedia) {
    EXPECT_EQ(*written, frames) << Describe(run);
  } else {
    EXPECT_TRUE(*written == frames || *written == 0) << Describe(run);
  }
  EXPECT_EQ(run.err.find("demo:"), std::string::npos) << Describe(run);
}

TEST(DemoEndToEndTest, RecordsAShortClip) {
  struct Case {
    const char* name;
    std::vector<std::string> extra;
    const char* audio_line;
  };
  const Case cases[] = {
      {"with audio", {}, "\n  audio requested: yes (hasAudioTrack: yes)\n"},
      {"without audio", {"--no-audio"}, "\n  audio requested: no (hasAudioTrack: no)\n"},
      {"one frame in flight",
       {"--in-flight", "1", "--no-audio"},
       "\n  audio requested: no (hasAudioTrack: no)\n"},
      {"eight frames in flight",
       {"--in-flight=8", "--no-audio"},
       "\n  audio requested: no (hasAudioTrack: no)\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ScratchDirectory scratch;
    const std::filesystem::path clip = scratch.path() / "clip.mp4";
    std::vector<std::string> arguments = {"--fast", "--seconds", "1",        "--fps",      "10",
                                          "--size", "64x48",     "--output", clip.string()};
    arguments.insert(arguments.end(), test.extra.begin(), test.extra.end());
    const ProcessResult run = RunHost(arguments, scratch.path());
    ASSERT_TRUE(run.started) << run.start_error;
    ASSERT_FALSE(run.timed_out) << Describe(run);
    EXPECT_TRUE(run.exited) << Describe(run);
    EXPECT_EQ(run.exit_code, 0) << Describe(run);
    ExpectRepliesAccountForEveryFrame(run, 10);
    EXPECT_NE(run.out.find("\n  output: " + clip.string() + "\n"), std::string::npos)
        << Describe(run);
    EXPECT_NE(run.out.find(test.audio_line), std::string::npos) << Describe(run);
    EXPECT_NE(run.out.find("\rframes 10/10 | "), std::string::npos) << Describe(run);
    if (kRealMedia) {
      EXPECT_TRUE(std::filesystem::is_regular_file(clip)) << clip;
    }
  }
}

TEST(DemoEndToEndTest, RecordsTheFramesOfAFolder) {
  ScratchDirectory scratch;
  const std::filesystem::path frames = scratch.path() / "frames";
  std::filesystem::create_directory(frames);
  for (int index = 0; index < 4; ++index) {
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(EncodePng(DrawTestScene(48, 32, index, 10), &png, &error)) << error;
    std::ofstream(frames / ("frame-" + std::to_string(index) + ".png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  }
  const ProcessResult run = RunHost(
      {"--frames", "frames", "--fast", "--no-audio", "--output", "folder.mp4"}, scratch.path());
  ASSERT_TRUE(run.started) << run.start_error;
  ASSERT_FALSE(run.timed_out) << Describe(run);
  EXPECT_EQ(run.exit_code, 0) << Describe(run);
  ExpectRepliesAccountForEveryFrame(run, 4);
  // A relative output path is the host's working directory's.
  EXPECT_NE(run.out.find("\n  output: " + (scratch.path() / "folder.mp4").string() + "\n"),
            std::string::npos)
      << Describe(run);
}

TEST(DemoEndToEndTest, OptionErrorsAreReportedAndRecordNothing) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {{"--fps", "0"},
       "demo: --fps takes a number of frames per second from 1 to 30 (the recorder's range), not "
       "'0'\n"},
      {{"--size", "big"},
       "demo: --size takes WIDTHxHEIGHT with each side from 2 to 8192 pixels, not 'big'\n"},
      {{"--fast", "--what"}, "demo: unknown option '--what'\n"},
      {{"--frames", "no-such-folder"}, "demo: --frames: 'no-such-folder' is not a folder\n"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.message);
    ScratchDirectory scratch;
    const ProcessResult run = RunHost(test.arguments, scratch.path());
    ASSERT_TRUE(run.started) << run.start_error;
    ASSERT_FALSE(run.timed_out) << Describe(run);
    EXPECT_TRUE(run.exited) << Describe(run);
    EXPECT_NE(run.err.find(test.message), std::string::npos) << Describe(run);
    // The host reports the application's status, which tells a script that it failed.
    EXPECT_NE(run.err.find("status 2"), std::string::npos) << Describe(run);
    EXPECT_EQ(run.out.find("Recording"), std::string::npos) << Describe(run);
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "nothing may be written";
  }
}

TEST(DemoEndToEndTest, HelpPrintsTheOptions) {
  ScratchDirectory scratch;
  const ProcessResult run = RunHost({"--help"}, scratch.path());
  ASSERT_TRUE(run.started) << run.start_error;
  ASSERT_FALSE(run.timed_out) << Describe(run);
  EXPECT_EQ(run.exit_code, 0) << Describe(run);
  EXPECT_NE(run.out.find("  --frames DIR"), std::string::npos) << Describe(run);
  EXPECT_NE(run.out.find("  --in-flight N"), std::string::npos) << Describe(run);
  EXPECT_EQ(run.err.find("demo:"), std::string::npos) << Describe(run);
}

// Asked to end in the middle of a recording (Ctrl-C, the terminal closing, a polite termination),
// the host closes its window as the close button does and exits normally, and the recording is
// completed into a plain MP4 holding every frame the application was told was written.
TEST(DemoEndToEndTest, AHostAskedToEndCompletesItsRecording) {
  if (!kRealMedia) {
    GTEST_SKIP() << "the media stand-ins write no files in this build";
  }
  for (const int signal_number : {SIGINT, SIGHUP, SIGTERM}) {
    SCOPED_TRACE(strsignal(signal_number));
    ScratchDirectory scratch;
    const std::filesystem::path clip = scratch.path() / "interrupted.mp4";
    const std::vector<std::string> arguments = {"--seconds", "30",    "--fps",    "10",
                                                "--size",    "64x48", "--output", clip.string()};
    // Interrupted a second and a half into the recording.
    const ProcessResult run = RunProcess(
        HALVEX_HOST_PATH, arguments, scratch.path().string(), kRunLimit,
        testing::Interruption{signal_number, "Recording ", std::chrono::milliseconds(1500)});
    ASSERT_TRUE(run.exited) << Describe(run);
    EXPECT_EQ(run.exit_code, 0) << Describe(run);
    const std::optional<int64_t> written = SummaryNumber(run.out, "appendPng successes");
    ASSERT_TRUE(written.has_value()) << Describe(run);
    EXPECT_GE(*written, 11);
    EXPECT_LT(*written, 300) << "interrupted, not finished";

    const std::string probe_command =
        "ffprobe -v error -select_streams v:0 -count_packets "
        "-show_entries stream=nb_frames,nb_read_packets -of csv=p=0 '" +
        clip.string() + "'";
    const ProcessResult probe = RunProcess("/bin/sh", {"-c", probe_command},
                                           scratch.path().string(), std::chrono::seconds(60));
    // A plain file's index gives its frame count, and it matches the frames read. The frames
    // still in flight when the host was asked to end (two by default) are written too, though
    // their answers no longer reach the application.
    int indexed = -1;
    int read = -1;
    ASSERT_EQ(std::sscanf(probe.out.c_str(), "%d,%d", &indexed, &read), 2) << Describe(probe);
    EXPECT_EQ(indexed, read) << Describe(probe);
    EXPECT_GE(indexed, *written) << Describe(probe);
    EXPECT_LE(indexed, *written + kDefaultFramesInFlight) << Describe(probe);
  }
}

}  // namespace
}  // namespace demo
}  // namespace halvex
