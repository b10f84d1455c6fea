// One thread's own wake-up call, under a mutex the caller holds.
//
// Signalling a condition variable that several threads wait on can block the signaller until
// waiters woken earlier have run: on a machine whose cores are busy encoding, the platform thread
// handing over a frame would wait for a decoding thread's turn on a core. A wake-up that only one
// thread waits on, and that is signalled at most once for each of its waits, never blocks.
#ifndef HALVEX_RECORDER_WAKE_UP_H_
#define HALVEX_RECORDER_WAKE_UP_H_

#include <condition_variable>

#include "recorder/mutex.h"

namespace halvex {

class WakeUp {
 public:
  WakeUp() = default;
  WakeUp(const WakeUp&) = delete;
  WakeUp& operator=(const WakeUp&) = delete;

  // Waits until `ready` holds, which is evaluated with the lock held; the lock is released while
  // waiting. Only one thread waits on a wake-up. The caller holds the lock `ready` needs, which
  // the analysis cannot follow into a template's predicate.
  template <typename Ready>
  void WaitUntil(MutexLock& lock, Ready ready) NO_THREAD_SAFETY_ANALYSIS {
    while (!ready()) {
      asleep_ = true;
      lock.WaitOnce(&changed_);
    }
    asleep_ = false;
  }

  // Wakes the waiting thread, unless it is not waiting or has been woken already (then false).
  // Called with the waiter's lock held.
  bool Wake() {
    if (!asleep_) {
      return false;
    }
    asleep_ = false;
    changed_.notify_one();
    return true;
  }

 private:
  std::condition_variable changed_;
  // Under the waiter's lock: the thread waits and has not been woken since it began.
  bool asleep_ = false;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_WAKE_UP_H_
