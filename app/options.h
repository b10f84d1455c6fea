// The demo's command-line options, as the engine hands them over in its entrypoint arguments.
#ifndef HALVEX_APP_OPTIONS_H_
#define HALVEX_APP_OPTIONS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {
namespace demo {

// The recorder limits its frame rate to this range, so the demo refuses anything else rather
// than pacing itself at a rate the video would not have.
constexpr double kMinimumFps = 1.0;
constexpr double kMaximumFps = 30.0;
constexpr double kMaximumSeconds = 3600.0;
// The recorder drops frames with a side below 2.
constexpr int kMinimumSide = 2;
constexpr int kMaximumSide = 8192;
// Frames sent whose answers are not yet taken. A few keep the recorder busy; more would only hold
// more encoded frames in memory.
constexpr int kMaximumInFlight = 8;

struct DemoOptions {
  std::string output_path = "halvex-demo.mp4";
  double fps = 30.0;
  bool enable_audio = true;
  double seconds = 3.0;
  int width = 1280;
  int height = 720;
  // Empty: frames are drawn. Otherwise the PNG files of this folder are sent, in name order, and
  // --seconds and --size do not apply.
  std::string frames_directory;
  bool fast = false;
  // Frames that may wait for the recorder's answer at once; 1 waits for each answer before the
  // next frame is sent.
  int in_flight = 2;
  bool show_help = false;
};

// Frames to draw: seconds × fps, rounded to the nearest whole frame.
int64_t DrawnFrameCount(const DemoOptions& options);

struct ParsedOptions {
  bool ok = false;
  DemoOptions options;
  std::string error;  // set when !ok: one line, without a trailing newline
};

// Parses the arguments in order; the first problem ends parsing with a message naming the option
// and the value. "--help" (or "-h") stops parsing and asks for the usage text. Values are given
// as "--fps 10" or "--fps=10"; a later option overrides an earlier one.
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

std::string UsageText();

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_OPTIONS_H_
