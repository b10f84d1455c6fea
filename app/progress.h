// The one updating progress line and the closing summary the demo prints.
#ifndef HALVEX_APP_PROGRESS_H_
#define HALVEX_APP_PROGRESS_H_

#include <cstdint>
#include <ostream>
#include <string>

namespace halvex {
namespace demo {

// "frames 12/90 | 0.40 s | 27.5 fps". The rate is measured from the first frame to the latest, so
// a recording paced at 30 frames per second shows 30.
std::string FormatProgress(int64_t frames_sent, int64_t frame_count, double elapsed_seconds);

// Rewrites one line in place with a carriage return, at most ten times a second unless forced.
class ProgressLine {
 public:
  explicit ProgressLine(std::ostream& out);

  void Update(int64_t frames_sent, int64_t frame_count, double elapsed_seconds, bool force);
  // Ends the line, if one was drawn, so that later output starts on a line of its own.
  void Finish();

 private:
  std::ostream& out_;
  size_t drawn_width_ = 0;
  bool drawn_ = false;
  double last_drawn_seconds_ = 0;
};

struct DemoSummary {
  bool complete = false;  // every call succeeded
  std::string output_path;
  int64_t frames_sent = 0;
  int64_t append_successes = 0;
  bool stop_answered = false;
  int32_t frames_reported = 0;  // by "stop"
  bool audio_requested = false;
  bool has_audio_track = false;  // from "start"
  bool has_audio = false;        // from "stop"
  std::string beeps;             // empty: the demo plays none and says nothing of them
  int64_t beeps_played = 0;
};

// The closing lines, one fact per line as "  name: value", ready to be printed.
std::string FormatSummary(const DemoSummary& summary);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_PROGRESS_H_
