// How a recording's file is laid out, as the finishing library reads it, for the reliability
// tests that check what a recording leaves on disk.
#ifndef HALVEX_TESTS_RELIABILITY_RECORDING_LAYOUT_H_
#define HALVEX_TESTS_RELIABILITY_RECORDING_LAYOUT_H_

#include <string>

namespace halvex::reliability_testing {

// "plain", "fragmented", or why it is neither ("not an MP4: ...", "damaged: ...", "cannot open").
std::string FileLayout(const std::string& path);

// Finishes a fragmented file in place, as halvex-finish-recording does; true when it is plain now.
bool FinishFile(const std::string& path);

}  // namespace halvex::reliability_testing

#endif  // HALVEX_TESTS_RELIABILITY_RECORDING_LAYOUT_H_
