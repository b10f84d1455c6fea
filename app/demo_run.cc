#include "app/demo_run.h"

#include <algorithm>
#include <deque>
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
  // An engine without posting answers one message at a time, whatever was asked for.
  const size_t in_flight =
      engine.CanPost() ? static_cast<size_t>(std::max(options.in_flight, 1)) : 1;
  RecorderClient recorder(&engine, in_flight > 1);
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

  if (in_flight < static_cast<size_t>(options.in_flight)) {
    out << "Note: this engine answers one message at a time, so frames are sent one at a time "
           "instead of "
        << options.in_flight << " in flight" << std::endl;
  }

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
  // Indexes of the frames whose answers are still to be taken, oldest first, as the recorder
  // answers them.
  std::deque<int64_t> unanswered;
  bool told_engine_gone = false;
  const auto take_oldest_answer = [&]() {
    const int64_t index = unanswered.front();
    unanswered.pop_front();
    FramesReply appended;
    if (recorder.FinishAppendPng(&appended, &failure)) {
      ++summary.append_successes;
      return true;
    }
    failed = true;
    // Once the engine is going away the frames still waiting can only go unanswered: the first
    // line says so for all of them.
    if (!(told_engine_gone && recorder.engine_gone())) {
      progress.Finish();
      err << "demo: frame " << index << ": " << failure << std::endl;
      told_engine_gone = recorder.engine_gone();
    }
    return false;
  };
  for (int64_t index = 0; index < frame_count; ++index) {
    // Made before it is due, so that it reaches the recorder when its picture is meant to show.
    std::vector<uint8_t> png;
    if (!source.ProducePng(index, &png, &failure)) {
      progress.Finish();
      err << "demo: frame " << index << ": " << failure << std::endl;
      failed = true;
      break;
    }
    if (unanswered.size() >= in_flight && !take_oldest_answer()) {
      break;
    }
    pacer.WaitUntilDue(index);
    engine.FrameDrawn();
    ++summary.frames_sent;
    recorder.BeginAppendPng(std::move(png));
    // The view shows the frame once it is on its way to the recorder: the call reaches the
    // platform thread first, so its arrival, which places the video against the sound, is not
    // held up by the painting.
    if (const Image* picture = source.LastPicture()) {
      engine.PresentFrame(*picture);
    }
    unanswered.push_back(index);
    // A call that waited has its answer already: checked at once, before the next frame is made.
    if (!recorder.posts_appends() && !take_oldest_answer()) {
      break;
    }
    progress.Update(summary.frames_sent, frame_count, pacer.ElapsedSeconds(),
                    index + 1 == frame_count);
  }
  // Every answer is taken before "stop": each frame is counted, and the recording is not stopped
  // under frames still on their way.
  while (!unanswered.empty()) {
    take_oldest_answer();
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
