#include "recorder/recording_file.h"

#include <memory>

#include "mp4/finish_recording.h"
#include "mp4/windows_file.h"

namespace halvex {

bool FinishRecordingFile(const std::wstring& path) {
  DWORD error = 0;
  const std::unique_ptr<mp4::WindowsFile> file = mp4::WindowsFile::Open(path.c_str(), &error);
  if (!file) {
    return false;
  }
  const mp4::FinishStatus status = mp4::FinishRecording(*file).status;
  return status == mp4::FinishStatus::kFinished || status == mp4::FinishStatus::kAlreadyPlain;
}

}  // namespace halvex
