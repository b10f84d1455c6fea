#include "app/progress.h"

#include <cinttypes>
#include <cstdio>

namespace halvex {
namespace demo {
namespace {

constexpr double kRedrawIntervalSeconds = 0.1;

const char* YesNo(bool value) {
  return value ? "yes" : "no";
}

}  // namespace

std::string FormatProgress(int64_t frames_sent, int64_t frame_count, double elapsed_seconds) {
  // Counted over the intervals between frames: n paced frames span n - 1 frame periods.
  const double rate = frames_sent >= 2 && elapsed_seconds > 0
                          ? static_cast<double>(frames_sent - 1) / elapsed_seconds
                          : 0;
  char text[96];
  std::snprintf(text, sizeof(text), "frames %" PRId64 "/%" PRId64 " | %.2f s | %.1f fps",
                frames_sent, frame_count, elapsed_seconds, rate);
  return text;
}

ProgressLine::ProgressLine(std::ostream& out) : out_(out) {}

void ProgressLine::Update(int64_t frames_sent,
                          int64_t frame_count,
                          double elapsed_seconds,
                          bool force) {
  if (drawn_ && !force && elapsed_seconds - last_drawn_seconds_ < kRedrawIntervalSeconds) {
    return;
  }
  const std::string text = FormatProgress(frames_sent, frame_count, elapsed_seconds);
  // Blank out what a longer previous line left behind.
  const size_t padding = drawn_width_ > text.size() ? drawn_width_ - text.size() : 0;
  out_ << '\r' << text << std::string(padding, ' ') << std::flush;
  drawn_width_ = text.size();
  drawn_ = true;
  last_drawn_seconds_ = elapsed_seconds;
}

void ProgressLine::Finish() {
  if (drawn_) {
    out_ << '\n' << std::flush;
    drawn_ = false;
    drawn_width_ = 0;
  }
}

std::string FormatSummary(const DemoSummary& summary) {
  std::string text = summary.complete ? "Recording finished.\n" : "Recording stopped early.\n";
  text += "  output: " + summary.output_path + "\n";
  text += "  frames sent: " + std::to_string(summary.frames_sent) + "\n";
  text += "  appendPng successes: " + std::to_string(summary.append_successes) + "\n";
  if (summary.stop_answered) {
    text += "  frames written: " + std::to_string(summary.frames_reported) +
            " (reported by \"stop\")\n";
  } else {
    text += "  frames written: unknown (\"stop\" did not answer)\n";
  }
  text += std::string("  audio requested: ") + YesNo(summary.audio_requested) +
          " (hasAudioTrack: " + YesNo(summary.has_audio_track) + ")\n";
  if (summary.stop_answered) {
    text += std::string("  audio recorded: ") + YesNo(summary.has_audio) + "\n";
  }
  if (!summary.beeps.empty()) {
    text += "  beeps: " + summary.beeps;
    if (summary.beeps_played > 0) {
      text += " (" + std::to_string(summary.beeps_played) + " played)";
    }
    text += "\n";
  }
  if (summary.stop_answered && summary.frames_reported != summary.frames_sent) {
    text += "  note: the recorder wrote " + std::to_string(summary.frames_reported) + " of the " +
            std::to_string(summary.frames_sent) +
            " frames sent; it skips frames it cannot decode or write.\n";
  }
  return text;
}

}  // namespace demo
}  // namespace halvex
