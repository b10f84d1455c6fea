#include "tests/reliability/recorder_stress_watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace halvex::stress {
namespace {

// Short enough to notice a stall promptly, long enough to cost nothing.
constexpr std::chrono::milliseconds kCheckInterval(50);

}  // namespace

StallWatchdog::StallWatchdog(std::chrono::milliseconds stallLimit)
    : stallLimit_(stallLimit), lastProgress_(std::chrono::steady_clock::now()) {
  watcher_ = std::thread([this] { Watch(); });
}

StallWatchdog::~StallWatchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  finished_.notify_all();
  watcher_.join();
}

void StallWatchdog::Progress(int cycle, const char* step) {
  std::lock_guard<std::mutex> lock(mutex_);
  cycle_ = cycle;
  step_ = step;
  lastProgress_ = std::chrono::steady_clock::now();
}

void StallWatchdog::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!done_) {
    finished_.wait_for(lock, kCheckInterval);
    const auto stalled = std::chrono::steady_clock::now() - lastProgress_;
    if (!done_ && stalled >= stallLimit_) {
      std::fprintf(stderr,
                   "recorder stress: no progress for %lld ms in cycle %d while %s; the recorder's "
                   "threads are deadlocked or starved\n",
                   static_cast<long long>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(stalled).count()),
                   cycle_, step_);
      std::fflush(stderr);
      std::abort();
    }
  }
}

}  // namespace halvex::stress
