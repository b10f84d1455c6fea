// Turns a hang of the recorder's threads into a failed run with a message: ctest would otherwise
// wait for its own timeout and say nothing about where the threads stopped.
#ifndef HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WATCHDOG_H_
#define HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WATCHDOG_H_

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace halvex::stress {

// Aborts the process, after printing the last step reported, once no step has been reported for
// `stallLimit`. A deadlocked thread cannot be unwound, so ending the process is the only way out.
class StallWatchdog {
 public:
  explicit StallWatchdog(std::chrono::milliseconds stallLimit);
  ~StallWatchdog();
  StallWatchdog(const StallWatchdog&) = delete;
  StallWatchdog& operator=(const StallWatchdog&) = delete;

  // Called before each step that could block: `step` names it in the message.
  void Progress(int cycle, const char* step);

 private:
  void Watch();

  const std::chrono::milliseconds stallLimit_;
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  int cycle_ = -1;
  const char* step_ = "setting up";
  std::chrono::steady_clock::time_point lastProgress_;
  std::thread watcher_;
};

}  // namespace halvex::stress

#endif  // HALVEX_TESTS_RELIABILITY_RECORDER_STRESS_WATCHDOG_H_
