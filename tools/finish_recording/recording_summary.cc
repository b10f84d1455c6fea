#include "tools/finish_recording/recording_summary.h"

#include <cstdio>

namespace halvex::tools {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.2f s", seconds);
  return text;
}

const char* KindName(mp4::TrackKind kind) {
  switch (kind) {
    case mp4::TrackKind::kVideo:
      return "video";
    case mp4::TrackKind::kAudio:
      return "audio";
    case mp4::TrackKind::kOther:
      return "other";
  }
  return "other";
}

}  // namespace

std::string DescribeRecording(const mp4::FinishReport& report) {
  std::string text;
  if (report.status == mp4::FinishStatus::kAlreadyPlain) {
    text = "already a plain MP4: nothing to do (" + Seconds(report.duration_seconds) + ")\n";
  } else {
    text = "finished: " + Seconds(report.duration_seconds) + ", " +
           std::to_string(report.fragments_used) + " fragments kept, " +
           std::to_string(report.fragments_dropped) + " dropped (cut off)\n";
  }
  for (const mp4::TrackReport& track : report.tracks) {
    text += "  track " + std::to_string(track.track_id) + ": " + KindName(track.kind) + " " +
            track.codec + ", " + std::to_string(track.samples) + " frames, " +
            Seconds(track.duration_seconds) + "\n";
  }
  return text;
}

std::string DescribeFailure(const mp4::FinishReport& report) {
  switch (report.status) {
    case mp4::FinishStatus::kNotMp4:
      return "not an MP4 file";
    case mp4::FinishStatus::kDamaged:
      return "damaged: " + report.reason;
    case mp4::FinishStatus::kReadFailed:
      return "cannot read: " + report.reason;
    case mp4::FinishStatus::kWriteFailed:
      return "cannot write: " + report.reason + " (the file still plays as before)";
    default:
      return mp4::FinishStatusName(report.status);
  }
}

std::string DescribeOpenFailure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "cannot open: no such file";
    case ERROR_PATH_NOT_FOUND:
      return "cannot open: no such folder";
    case ERROR_ACCESS_DENIED:
      return "cannot open: access denied (a folder, or a read-only file?)";
    case ERROR_SHARING_VIOLATION:
      return "cannot open: the file is in use";
    default:
      return "cannot open: system error " + std::to_string(error);
  }
}

}  // namespace halvex::tools
