#include "tests/reliability/recording_layout.h"

#include <memory>

#include "mp4/finish_recording.h"
#include "mp4/windows_file.h"

namespace halvex::reliability_testing {
namespace {

// The scratch folders' paths are ASCII.
std::unique_ptr<mp4::WindowsFile> OpenRecording(const std::string& path) {
  DWORD error = 0;
  return mp4::WindowsFile::Open(std::wstring(path.begin(), path.end()).c_str(), &error);
}

}  // namespace

std::string FileLayout(const std::string& path) {
  const std::unique_ptr<mp4::WindowsFile> file = OpenRecording(path);
  if (!file) {
    return "cannot open";
  }
  const mp4::FinishReport report = mp4::InspectRecording(*file);
  switch (report.status) {
    case mp4::FinishStatus::kAlreadyPlain:
      return "plain";
    case mp4::FinishStatus::kFragmented:
      return "fragmented";
    default:
      return std::string(mp4::FinishStatusName(report.status)) + ": " + report.reason;
  }
}

bool FinishFile(const std::string& path) {
  const std::unique_ptr<mp4::WindowsFile> file = OpenRecording(path);
  return file && mp4::FinishRecording(*file).status == mp4::FinishStatus::kFinished;
}

}  // namespace halvex::reliability_testing
