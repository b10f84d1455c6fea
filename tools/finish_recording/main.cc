// halvex-finish-recording FILE: turns a fragmented recording, such as one a killed host left,
// into a plain MP4 in place, and says what it found. Exit status: 0 when the file is plain
// afterwards, 1 when it could not be finished (the file is left playable), 2 for a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

#include "mp4/finish_recording.h"
#include "mp4/windows_file.h"
#include "tools/finish_recording/recording_summary.h"

namespace {

int Fail(const std::string& line) {
  std::fprintf(stderr, "halvex-finish-recording: %s\n", line.c_str());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 || argv[1][0] == L'\0') {
    std::fprintf(stderr, "usage: halvex-finish-recording FILE\n");
    return 2;
  }
  DWORD error = ERROR_SUCCESS;
  std::unique_ptr<halvex::mp4::WindowsFile> file = halvex::mp4::WindowsFile::Open(argv[1], &error);
  if (file == nullptr) {
    return Fail(halvex::tools::DescribeOpenFailure(error));
  }
  const halvex::mp4::FinishReport report = halvex::mp4::FinishRecording(*file);
  if (report.status != halvex::mp4::FinishStatus::kFinished &&
      report.status != halvex::mp4::FinishStatus::kAlreadyPlain) {
    return Fail(halvex::tools::DescribeFailure(report));
  }
  std::fputs(halvex::tools::DescribeRecording(report).c_str(), stdout);
  return 0;
}
