// Every call the reference recording makes, with the failure injected into it and the documented
// outcome of each occurrence failing. A call missing here fails the sweep until it is classified.
#ifndef HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_TABLE_H_
#define HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_TABLE_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/reliability/fault_sweep_expectations.h"

namespace halvex::fault_sweep {

struct SweepEntry {
  const char* call;
  HRESULT failure;  // what the call plausibly fails with
  const char* documented;
  // The acceptable outcomes of the nth occurrence failing: one, or, where the media writer decides
  // whether a type without one attribute will do, the recording with it and the fallback.
  std::vector<ExpectedRecording> (*expect)(int occurrence);
  // For a call made in a polling loop, whose count depends on timing: only the first ones, whose
  // place in the loop the scenario fixes. 0: every occurrence.
  int firstOccurrences = 0;
  // Made at most once per process: only the first recording in the process can see it fail.
  bool oncePerProcess = false;
  // Made only on a real file (finishing it at "stop"): the run writes one whatever else it checks.
  bool needsRealFile = false;
  // Made only by the threads of the recorder's call queue: swept with every call in flight.
  bool queueOnly = false;
};

const std::vector<SweepEntry>& SweepTable();

// Names a sweep's case by its call, so that each is found by the call it fails.
void PrintTo(const SweepEntry& entry, std::ostream* out);
std::string TestName(const ::testing::TestParamInfo<SweepEntry>& info);

// The entry for `call`, or null when the call is not classified.
const SweepEntry* FindSweepEntry(const std::string& call);

}  // namespace halvex::fault_sweep

#endif  // HALVEX_TESTS_RELIABILITY_FAULT_SWEEP_TABLE_H_
