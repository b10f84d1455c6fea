// A mutex and its scoped lock, annotated so that the compiler can check what they guard. The
// standard library's own types carry no annotations.
#ifndef HALVEX_RECORDER_MUTEX_H_
#define HALVEX_RECORDER_MUTEX_H_

#include <condition_variable>
#include <mutex>

#include "recorder/thread_annotations.h"

namespace halvex {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  std::mutex mutex_;
};

// Holds a mutex from construction to destruction; Unlock and Lock free it for a while in between.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) ACQUIRE(mutex) : lock_(mutex->mutex_) {}
  ~MutexLock() RELEASE() = default;
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void Unlock() RELEASE() { lock_.unlock(); }
  void Lock() ACQUIRE() { lock_.lock(); }

  // Waits for `condition` to hold, releasing the mutex while waiting. The condition is evaluated
  // with the mutex held.
  template <typename Condition>
  void Wait(std::condition_variable* changed, Condition condition) {
    changed->wait(lock_, condition);
  }
  // Waits once: until woken, or spuriously.
  void WaitOnce(std::condition_variable* changed) { changed->wait(lock_); }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_MUTEX_H_
