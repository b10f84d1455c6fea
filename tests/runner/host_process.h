// Runs the built host as a separate process the way a user would start it, and collects what it
// printed and how it ended.
#ifndef HALVEX_TESTS_RUNNER_HOST_PROCESS_H_
#define HALVEX_TESTS_RUNNER_HOST_PROCESS_H_

#include <string>
#include <vector>

namespace halvex::testing {

struct HostStart {
  std::vector<std::string> arguments;  // After the program path.
  bool from_terminal = false;          // Standard input is a terminal, as from a console window.
  bool under_debugger = false;         // Traced from its first instruction on.
};

struct HostResult {
  bool started = false;
  int exit_code = -1;  // -1 when the process did not exit normally.
  std::string output;  // Standard output.
  std::string errors;  // Standard error.
};

HostResult RunHostProcess(const std::string& executable, const HostStart& start);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_RUNNER_HOST_PROCESS_H_
