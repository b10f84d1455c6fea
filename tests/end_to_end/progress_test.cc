#include "app/progress.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/frame_pacer.h"

namespace halvex {
namespace demo {
namespace {

TEST(ProgressTest, LineShowsFramesElapsedAndRate) {
  struct Case {
    int64_t sent;
    int64_t total;
    double elapsed;
    const char* text;
  };
  const Case cases[] = {
      {0, 90, 0.0, "frames 0/90 | 0.00 s | 0.0 fps"},
      {12, 90, 0.4, "frames 12/90 | 0.40 s | 27.5 fps"},
      {90, 90, 3.0, "frames 90/90 | 3.00 s | 29.7 fps"},
      {1, 90, 0.01, "frames 1/90 | 0.01 s | 0.0 fps"},
      {5, 10, -1.0, "frames 5/10 | -1.00 s | 0.0 fps"},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(FormatProgress(test.sent, test.total, test.elapsed), test.text);
  }
}

TEST(ProgressTest, LineIsRewrittenInPlaceAtMostTenTimesASecond) {
  std::ostringstream out;
  ProgressLine line(out);
  line.Finish();
  EXPECT_EQ(out.str(), "") << "no line drawn, nothing to end";

  line.Update(100, 200, 10.0, false);
  line.Update(101, 200, 10.05, false);  // too soon: skipped
  line.Update(102, 200, 10.05, true);   // forced
  line.Update(9, 200, 10.2, false);     // a shorter line blanks out the rest of the longer one
  line.Finish();
  EXPECT_EQ(out.str(),
            "\rframes 100/200 | 10.00 s | 9.9 fps"
            "\rframes 102/200 | 10.05 s | 10.0 fps"
            "\rframes 9/200 | 10.20 s | 0.8 fps   "
            "\n");
}

DemoSummary CompleteSummary() {
  DemoSummary summary;
  summary.complete = true;
  summary.output_path = "/tmp/clip.mp4";
  summary.frames_sent = 10;
  summary.append_successes = 10;
  summary.stop_answered = true;
  summary.frames_reported = 10;
  summary.audio_requested = true;
  summary.has_audio_track = true;
  summary.has_audio = false;
  return summary;
}

TEST(ProgressTest, SummaryReportsTheReplies) {
  EXPECT_EQ(FormatSummary(CompleteSummary()),
            "Recording finished.\n"
            "  output: /tmp/clip.mp4\n"
            "  frames sent: 10\n"
            "  appendPng successes: 10\n"
            "  frames written: 10 (reported by \"stop\")\n"
            "  audio requested: yes (hasAudioTrack: yes)\n"
            "  audio recorded: no\n");

  DemoSummary short_of_frames = CompleteSummary();
  short_of_frames.frames_reported = 0;
  EXPECT_NE(FormatSummary(short_of_frames)
                .find("  note: the recorder wrote 0 of the 10 frames sent; it skips frames it "
                      "cannot decode or write.\n"),
            std::string::npos);

  DemoSummary unanswered = CompleteSummary();
  unanswered.complete = false;
  unanswered.stop_answered = false;
  const std::string text = FormatSummary(unanswered);
  EXPECT_EQ(text.rfind("Recording stopped early.\n", 0), 0u);
  EXPECT_NE(text.find("  frames written: unknown (\"stop\" did not answer)\n"), std::string::npos);
  EXPECT_EQ(text.find("audio recorded"), std::string::npos);
  EXPECT_EQ(text.find("note:"), std::string::npos);
}

TEST(FramePacerTest, FrameTimesComeFromTheIndexWithoutDrift) {
  struct Case {
    double fps;
    int64_t index;
    int64_t nanoseconds;
  };
  const Case cases[] = {
      {30, 0, 0},
      {30, 1, 33333333},
      {30, 30, 1000000000},
      {30, 108000, 3600000000000},
      {29.97, 2997, 100000000000},
      {1, 5, 5000000000},
  };
  for (const Case& test : cases) {
    const FramePacer pacer(test.fps, true);
    EXPECT_NEAR(
        std::chrono::duration_cast<std::chrono::nanoseconds>(pacer.OffsetOf(test.index)).count(),
        test.nanoseconds, 1)
        << test.index << " at " << test.fps;
  }
  const FramePacer unpaced(30, false);
  EXPECT_EQ(unpaced.OffsetOf(1000).count(), 0);
}

}  // namespace
}  // namespace demo
}  // namespace halvex
