// Checks of one run of the sweep's recording against the outcome the documentation gives it.
#ifndef HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_CHECKS_H_
#define HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_CHECKS_H_

#include <vector>

#include "tests/reliability/fault_sweep_expectations.h"
#include "tests/reliability/fault_sweep_scenario.h"

namespace halvex::fault_sweep {

// The alternative whose shape (writers made, streams of the one used) the run shows; the first
// when none does, so that the checks name what differs from it.
const ExpectedRecording& MatchingAlternative(const RecordingRun& run,
                                             const std::vector<ExpectedRecording>& alternatives);

// How far the file on disk is checked: not at all (the writer only recorded), its streams and
// packets as probed, or also every picture decoded.
enum class FileCheck { kNone, kProbe, kDecode };

// Replies, writers, samples, COM objects and task memory, and the file as `fileCheck` says.
void CheckRecording(const RecordingRun& run,
                    const ExpectedRecording& expected,
                    FileCheck fileCheck);

}  // namespace halvex::fault_sweep

#endif  // HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_CHECKS_H_
