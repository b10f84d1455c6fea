#include "app/demo_run.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/frame_pacer.h"
#include "app/progress.h"
#include "app/recorder_client.h"

namespace halvex {
namespace demo {

std::string DisplayPath(const std::string& path) {
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
  return failure ? path : absolute.lexically_normal().string();
}

int RunRecording(const DemoOptions& options,
                 FrameSource& source,
                 EngineServices& engine,
                 std::ostream& out,
                 std::ostream& err,
                 Beeper* beeper,
                 const std::string& beeps) {
  RecorderClient recorder(&engine);
  std::string failure;

  StartReply started;
  if (!recorder.Start(options.output_path, options.fps, options.enable_audio, &started, &failure)) {
    err << "demo: " << failure << std::endl;
    return 1;
  }

  DemoSummary summary;
  summary.output_path = DisplayPath(options.output_path);
  summary.audio_requested = options.enable_audio;
  summary.has_audio_track = started.has_audio_track;
  summary.beeps = beeps;

  const int64_t frame_count = source.frame_count();
  out << "Recording " << frame_count << " frames at " << options.fps << " fps"
      << (options.enable_audio ? " with system audio" : " without audio") << " to "
      << summary.output_path << std::endl;

  bool failed = false;
  FramePacer pacer(options.fps, !options.fast);
  // Every beep is placed on the output's time line ahead, to sound the moment its flash is due.
  if (beeper != nullptr && !options.fast) {
    for (int64_t index = 0; index < frame_count; ++index) {
      if (source.ShowsFlash(index)) {
        beeper->BeepAt(pacer.DueTime(index));
        ++summary.beeps_played;
      }
    }
  }
  ProgressLine progress(out);
  for (int64_t index = 0; index < frame_count; ++index) {
    // Made before it is due, so that it reaches the recorder when its picture is meant to show.
    std::vector<uint8_t> png;
    if (!source.ProducePng(index, &png, &failure)) {
      progress.Finish();
      err << "demo: frame " << index << ": " << failure << std::endl;
      failed = true;
      break;
    }
    pacer.WaitUntilDue(index);
    engine.FrameDrawn();
    ++summary.frames_sent;
    FramesReply appended;
    if (!recorder.AppendPng(std::move(png), &appended, &failure)) {
      progress.Finish();
      err << "demo: frame " << index << ": " << failure << std::endl;
      failed = true;
      break;
    }
    ++summary.append_successes;
    progress.Update(summary.frames_sent, frame_count, pacer.ElapsedSeconds(),
                    index + 1 == frame_count);
  }
  progress.Finish();

  // Without an engine nothing more will be answered; otherwise stop in every case, so that the
  // frames already written end up in a finished file.
  if (!recorder.engine_gone()) {
    FramesReply stopped;
    if (recorder.Stop(&stopped, &failure)) {
      summary.stop_answered = true;
      summary.frames_reported = stopped.frames;
      summary.has_audio = stopped.has_audio;
    } else {
      err << "demo: " << failure << std::endl;
      failed = true;
    }
  }

  summary.complete = !failed;
  out << FormatSummary(summary) << std::flush;
  return failed ? 1 : 0;
}

}  // namespace demo
}  // namespace halvex
