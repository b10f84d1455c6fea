#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvex {
namespace demo {
namespace {

struct AcceptedCase {
  std::vector<std::string> arguments;
  DemoOptions expected;
};

DemoOptions With(void (*change)(DemoOptions&)) {
  DemoOptions options;
  change(options);
  return options;
}

TEST(ParseOptionsTest, AcceptsEveryOptionInBothForms) {
  const AcceptedCase cases[] = {
      {{}, DemoOptions()},
      {{"--output", "clip.mp4"}, With([](DemoOptions& o) { o.output_path = "clip.mp4"; })},
      {{"--output=x=y.mp4"}, With([](DemoOptions& o) { o.output_path = "x=y.mp4"; })},
      {{"--fps=29.97"}, With([](DemoOptions& o) { o.fps = 29.97; })},
      {{"--fps", "5", "--fps", "1"}, With([](DemoOptions& o) { o.fps = 1; })},
      {{"--no-audio"}, With([](DemoOptions& o) { o.enable_audio = false; })},
      {{"--no-audio", "--audio"}, DemoOptions()},
      {{"--seconds", "0.5"}, With([](DemoOptions& o) { o.seconds = 0.5; })},
      {{"--size", "64x48"}, With([](DemoOptions& o) { o.width = 64, o.height = 48; })},
      {{"--size=2X8192"}, With([](DemoOptions& o) { o.width = 2, o.height = 8192; })},
      {{"--frames", "shots"}, With([](DemoOptions& o) { o.frames_directory = "shots"; })},
      {{"--fast"}, With([](DemoOptions& o) { o.fast = true; })},
      {{"--in-flight", "1"}, With([](DemoOptions& o) { o.in_flight = 1; })},
      {{"--in-flight=8"}, With([](DemoOptions& o) { o.in_flight = 8; })},
      {{"-h", "--bogus"}, With([](DemoOptions& o) { o.show_help = true; })},
      // A folder of frames has its own length, so a length too short for one frame is no error.
      {{"--frames", "d", "--seconds", "0.01"}, With([](DemoOptions& o) {
         o.frames_directory = "d";
         o.seconds = 0.01;
       })},
  };
  for (const AcceptedCase& test : cases) {
    SCOPED_TRACE(::testing::PrintToString(test.arguments));
    const ParsedOptions parsed = ParseOptions(test.arguments);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const DemoOptions& options = parsed.options;
    EXPECT_EQ(options.output_path, test.expected.output_path);
    EXPECT_DOUBLE_EQ(options.fps, test.expected.fps);
    EXPECT_EQ(options.enable_audio, test.expected.enable_audio);
    EXPECT_DOUBLE_EQ(options.seconds, test.expected.seconds);
    EXPECT_EQ(options.width, test.expected.width);
    EXPECT_EQ(options.height, test.expected.height);
    EXPECT_EQ(options.frames_directory, test.expected.frames_directory);
    EXPECT_EQ(options.fast, test.expected.fast);
    EXPECT_EQ(options.in_flight, test.expected.in_flight);
    EXPECT_EQ(options.show_help, test.expected.show_help);
  }
}

std::string BadFps(const std::string& value) {
  return "--fps takes a number of frames per second from 1 to 30 (the recorder's range), not '" +
         value + "'";
}
std::string BadSeconds(const std::string& value) {
  return "--seconds takes a number of seconds above 0 and up to 3600, not '" + value + "'";
}
std::string BadInFlight(const std::string& value) {
  return "--in-flight takes a whole number of frames from 1 to 8, not '" + value + "'";
}
std::string BadSize(const std::string& value) {
  return "--size takes WIDTHxHEIGHT with each side from 2 to 8192 pixels, not '" + value + "'";
}

TEST(ParseOptionsTest, RefusesBadInputWithAMessageNamingIt) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus=1"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"clip.mp4"}, "unexpected argument 'clip.mp4' (options start with --)"},
      {{""}, "unexpected argument '' (options start with --)"},
      {{"--fps"}, "option --fps needs a value"},
      {{"--fast=yes"}, "option --fast takes no value"},
      {{"--output="}, "--output needs a file path, not an empty one"},
      {{"--frames", ""}, "--frames needs a folder, not an empty path"},
      {{"--fps", "0.99"}, BadFps("0.99")},
      {{"--fps", "31"}, BadFps("31")},
      {{"--fps", "10fps"}, BadFps("10fps")},
      {{"--fps", "nan"}, BadFps("nan")},
      {{"--fps", " 10"}, BadFps(" 10")},
      {{"--seconds", "0"}, BadSeconds("0")},
      {{"--seconds", "inf"}, BadSeconds("inf")},
      {{"--seconds", "3601"}, BadSeconds("3601")},
      {{"--size", "64"}, BadSize("64")},
      {{"--size", "1x48"}, BadSize("1x48")},
      {{"--size", "64x8193"}, BadSize("64x8193")},
      {{"--size", "64x48x2"}, BadSize("64x48x2")},
      {{"--size", "99999999999x2"}, BadSize("99999999999x2")},
      {{"--in-flight", "0"}, BadInFlight("0")},
      {{"--in-flight", "9"}, BadInFlight("9")},
      {{"--in-flight", "1.5"}, BadInFlight("1.5")},
      {{"--in-flight="}, BadInFlight("")},
      {{"--in-flight", "99999999999"}, BadInFlight("99999999999")},
      {{"--in-flight"}, "option --in-flight needs a value"},
      {{"--seconds", "0.01", "--fps", "10"},
       "--seconds 0.01 at --fps 10 makes no whole frame; record a little longer"},
      // The first problem is the one reported.
      {{"--fps", "0", "--bogus"}, BadFps("0")},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(::testing::PrintToString(test.arguments));
    const ParsedOptions parsed = ParseOptions(test.arguments);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.error, test.message);
  }
}

TEST(ParseOptionsTest, DrawnFrameCountRoundsSecondsTimesRate) {
  struct Case {
    double seconds;
    double fps;
    int64_t frames;
  };
  const Case cases[] = {{3, 30, 90}, {0.5, 30, 15}, {0.05, 10, 1}, {1, 29.97, 30}};
  for (const Case& test : cases) {
    DemoOptions options;
    options.seconds = test.seconds;
    options.fps = test.fps;
    EXPECT_EQ(DrawnFrameCount(options), test.frames) << test.seconds << " s at " << test.fps;
  }
}

}  // namespace
}  // namespace demo
}  // namespace halvex
