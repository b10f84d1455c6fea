#include "app/options.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <system_error>

namespace halvex {
namespace demo {
namespace {

// Parses the whole of `text` as a finite decimal number, independently of the C locale.
std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty() || text.front() == '+') {
    return std::nullopt;
  }
  double value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseWholeNumber(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  int value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end) {
    return std::nullopt;
  }
  return value;
}

// "1280x720" (or with a capital X).
bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t separator = text.find_first_of("xX");
  if (separator == std::string::npos) {
    return false;
  }
  const std::optional<int> parsed_width = ParseWholeNumber(text.substr(0, separator));
  const std::optional<int> parsed_height = ParseWholeNumber(text.substr(separator + 1));
  if (!parsed_width || !parsed_height) {
    return false;
  }
  *width = *parsed_width;
  *height = *parsed_height;
  return true;
}

std::string FormatNumber(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

ParsedOptions Failure(std::string error) {
  ParsedOptions parsed;
  parsed.error = std::move(error);
  return parsed;
}

}  // namespace

int64_t DrawnFrameCount(const DemoOptions& options) {
  return std::llround(options.seconds * options.fps);
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  DemoOptions& options = parsed.options;
  for (size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    if (argument.size() < 2 || argument[0] != '-') {
      return Failure("unexpected argument '" + argument + "' (options start with --)");
    }
    std::string name = argument;
    std::optional<std::string> inline_value;
    const size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = argument.substr(0, equals);
      inline_value = argument.substr(equals + 1);
    }

    const bool is_flag = name == "--help" || name == "-h" || name == "--audio" ||
                         name == "--no-audio" || name == "--fast";
    const bool takes_value = name == "--output" || name == "--fps" || name == "--seconds" ||
                             name == "--size" || name == "--frames" || name == "--in-flight";
    if (!is_flag && !takes_value) {
      return Failure("unknown option '" + name + "'");
    }
    if (is_flag) {
      if (inline_value) {
        return Failure("option " + name + " takes no value");
      }
      if (name == "--help" || name == "-h") {
        options.show_help = true;
        parsed.ok = true;
        return parsed;
      }
      if (name == "--fast") {
        options.fast = true;
      } else {
        options.enable_audio = name == "--audio";
      }
      continue;
    }

    std::string value;
    if (inline_value) {
      value = *inline_value;
    } else if (index + 1 < arguments.size()) {
      value = arguments[++index];
    } else {
      return Failure("option " + name + " needs a value");
    }

    if (name == "--output") {
      if (value.empty()) {
        return Failure("--output needs a file path, not an empty one");
      }
      options.output_path = value;
    } else if (name == "--frames") {
      if (value.empty()) {
        return Failure("--frames needs a folder, not an empty path");
      }
      options.frames_directory = value;
    } else if (name == "--fps") {
      const std::optional<double> fps = ParseNumber(value);
      if (!fps || *fps < kMinimumFps || *fps > kMaximumFps) {
        return Failure("--fps takes a number of frames per second from " +
                       FormatNumber(kMinimumFps) + " to " + FormatNumber(kMaximumFps) +
                       " (the recorder's range), not '" + value + "'");
      }
      options.fps = *fps;
    } else if (name == "--seconds") {
      const std::optional<double> seconds = ParseNumber(value);
      if (!seconds || *seconds <= 0 || *seconds > kMaximumSeconds) {
        return Failure("--seconds takes a number of seconds above 0 and up to " +
                       FormatNumber(kMaximumSeconds) + ", not '" + value + "'");
      }
      options.seconds = *seconds;
    } else if (name == "--in-flight") {
      const std::optional<int> in_flight = ParseWholeNumber(value);
      if (!in_flight || *in_flight < 1 || *in_flight > kMaximumInFlight) {
        return Failure("--in-flight takes a whole number of frames from 1 to " +
                       std::to_string(kMaximumInFlight) + ", not '" + value + "'");
      }
      options.in_flight = *in_flight;
    } else {
      int width = 0;
      int height = 0;
      if (!ParseSize(value, &width, &height) || width < kMinimumSide || height < kMinimumSide ||
          width > kMaximumSide || height > kMaximumSide) {
        return Failure("--size takes WIDTHxHEIGHT with each side from " +
                       std::to_string(kMinimumSide) + " to " + std::to_string(kMaximumSide) +
                       " pixels, not '" + value + "'");
      }
      options.width = width;
      options.height = height;
    }
  }

  if (options.frames_directory.empty() && DrawnFrameCount(options) < 1) {
    return Failure("--seconds " + FormatNumber(options.seconds) + " at --fps " +
                   FormatNumber(options.fps) + " makes no whole frame; record a little longer");
  }
  parsed.ok = true;
  return parsed;
}

std::string UsageText() {
  return "Halvex demo: draws a moving test scene (or sends the PNG files of a folder), records it\n"
         "through the host's desktop recorder, and reports what was written.\n"
         "\n"
         "Options:\n"
         "  --output PATH   the video file to write (default halvex-demo.mp4)\n"
         "  --fps N         frames per second, 1 to 30 (default 30)\n"
         "  --audio         record the system's sound as well (the default)\n"
         "  --no-audio      record video only\n"
         "  --seconds S     length of the drawn scene in seconds (default 3)\n"
         "  --size WxH      size of the drawn frames in pixels (default 1280x720)\n"
         "  --frames DIR    send the .png files of DIR in name order instead of drawn frames\n"
         "                  (--seconds and --size then do not apply)\n"
         "  --fast          send frames as fast as possible instead of at the frame rate\n"
         "  --in-flight N   frames that may await the recorder's answer at once, 1 to 8\n"
         "                  (default 2; 1 waits for each answer before sending the next frame)\n"
         "  --help          show this text\n";
}

}  // namespace demo
}  // namespace halvex
