// Test controls for the Windows stand-in: make any stand-in call fail with a chosen HRESULT.
// Product code never includes this header.
#ifndef HALVEX_WINDOWS_TESTING_FAULTS_H_
#define HALVEX_WINDOWS_TESTING_FAULTS_H_

#include <winerror.h>

#include <map>
#include <string>

namespace halvex::testing {

// Calls are named as in the SDK: free functions by their name ("MFStartup"), interface methods
// as "Interface::Method" ("IMFSinkWriter::BeginWriting").
//
// Makes the nth call (counted from 1, from now on) of `call` fail with `result`; with
// `nth` == 0 every call fails until the fault is cleared.
void FailCall(const std::string& call, HRESULT result, int nth = 0);

// How many times `call` has been made since the last ResetFaults().
int CallCount(const std::string& call);

// Every call made since the last ResetFaults(), by name, with how often it was made (failed calls
// included); calls not made are absent. Shows which calls a piece of code makes, to sweep
// failures over each of them.
std::map<std::string, int> CallCounts();

// Clears every armed fault and every call count.
void ResetFaults();

// Clears the faults and counts when constructed and again when destroyed, so one test's faults
// never leak into the next.
class ScopedFaults {
 public:
  ScopedFaults() { ResetFaults(); }
  ~ScopedFaults() { ResetFaults(); }
  ScopedFaults(const ScopedFaults&) = delete;
  ScopedFaults& operator=(const ScopedFaults&) = delete;
};

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_FAULTS_H_
