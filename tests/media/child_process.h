// Running the command-line tools the tests check media with, and servers the tests start.
#ifndef HALVEX_TESTS_MEDIA_CHILD_PROCESS_H_
#define HALVEX_TESTS_MEDIA_CHILD_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace halvex::media_testing {

struct CommandResult {
  bool started = false;
  bool timed_out = false;
  int exit_code = -1;  // -1 unless the program exited by itself
  std::string out;
  std::string err;
};

// Runs `argv` (the program is looked up on PATH) to its end, killing it after `limit`.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         std::chrono::seconds limit = std::chrono::seconds(120));

// Whether `program` is found on PATH.
bool ProgramAvailable(const std::string& program);

// A program left running while the test goes on; ended by its process id when destroyed.
class BackgroundProcess {
 public:
  // Output goes to `log_path`. Null when the program cannot be started.
  static std::unique_ptr<BackgroundProcess> Start(const std::vector<std::string>& argv,
                                                  const std::string& log_path);
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  // Waits for the program to end by itself, at most `limit`; its exit code, or -1.
  int Wait(std::chrono::milliseconds limit);
  // Asks the program to end, then forces it.
  void Stop();

 private:
  explicit BackgroundProcess(pid_t pid) : pid_(pid) {}

  pid_t pid_;
  bool reaped_ = false;
  int exit_code_ = -1;
};

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_CHILD_PROCESS_H_
