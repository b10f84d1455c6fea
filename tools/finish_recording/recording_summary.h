// The lines the tool prints for a finishing report.
#ifndef HALVEX_TOOLS_FINISH_RECORDING_RECORDING_SUMMARY_H_
#define HALVEX_TOOLS_FINISH_RECORDING_RECORDING_SUMMARY_H_

#include <windows.h>

#include <string>

#include "mp4/finish_recording.h"

namespace halvex::tools {

// What was found, one line per track after a headline; for a finished or plain file.
std::string DescribeRecording(const mp4::FinishReport& report);

// The one-line error for a report that is not a success.
std::string DescribeFailure(const mp4::FinishReport& report);

// The one-line error for a file that could not be opened.
std::string DescribeOpenFailure(DWORD error);

}  // namespace halvex::tools

#endif  // HALVEX_TOOLS_FINISH_RECORDING_RECORDING_SUMMARY_H_
