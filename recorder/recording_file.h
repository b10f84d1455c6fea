// Completing a recording's file once its writer has let go of it.
#ifndef HALVEX_RECORDER_RECORDING_FILE_H_
#define HALVEX_RECORDER_RECORDING_FILE_H_

#include <string>

namespace halvex {

// Turns the fragmented MP4 at `path` into a plain one in place (a file already plain is left as
// it is). Returns whether the file is plain now. Never deletes or truncates: a file that cannot
// be finished stays as it was, playable up to its last whole fragment.
bool FinishRecordingFile(const std::wstring& path);

}  // namespace halvex

#endif  // HALVEX_RECORDER_RECORDING_FILE_H_
