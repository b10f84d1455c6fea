// Runs a program to its end and collects what it printed, for tests of the built host.
#ifndef HALVEX_TESTS_END_TO_END_PROCESS_RUNNER_H_
#define HALVEX_TESTS_END_TO_END_PROCESS_RUNNER_H_

#include <chrono>
#include <string>
#include <vector>

namespace halvex {
namespace demo {
namespace testing {

struct ProcessResult {
  bool started = false;
  std::string start_error;
  bool timed_out = false;  // the process was killed after the time limit
  bool exited = false;     // ended by exit rather than by a signal
  int exit_code = -1;
  int signal = 0;
  std::string out;
  std::string err;
};

// A signal sent to the program `delay` after it printed `after_output` (empty: after it started).
struct Interruption {
  int signal = 0;  // 0: none
  std::string after_output;
  std::chrono::milliseconds delay{0};
};

// Starts `program` with `arguments` in `working_directory`, with the test's environment, and
// waits for it to end, killing it after `limit`; sends the interruption's signal on the way.
ProcessResult RunProcess(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& working_directory,
                         std::chrono::seconds limit,
                         const Interruption& interruption = Interruption());

}  // namespace testing
}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_TESTS_END_TO_END_PROCESS_RUNNER_H_
