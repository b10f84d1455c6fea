// A connection to the sound server, with its own event thread, and waiting on it with a deadline.
#ifndef HALVEX_STANDIN_MEDIA_PULSE_CONNECTION_H_
#define HALVEX_STANDIN_MEDIA_PULSE_CONNECTION_H_

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>

#include <functional>
#include <memory>

#include "media_pulse_capture.h"

namespace halvex::platform::media {

class PulseConnection {
 public:
  // Connects to the server the environment names; never starts one.
  static LoopbackError Connect(std::unique_ptr<PulseConnection>* connection);

  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  pa_threaded_mainloop* mainloop() const { return mainloop_; }
  pa_context* context() const { return context_; }

  // Ends the event thread; no callback runs after this returns. Call without the lock held.
  void StopEvents();

  // With the lock held: waits for `done`, woken by Signal(), for at most a few seconds.
  // False when the time ran out first.
  bool WaitFor(const std::function<bool()>& done);
  // With the lock held, or from a callback: wakes WaitFor.
  void Signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

  // With the lock held: waits for `operation` to complete and releases it.
  bool Await(pa_operation* operation);

 private:
  PulseConnection(pa_threaded_mainloop* mainloop, pa_context* context);

  pa_threaded_mainloop* mainloop_;
  pa_context* context_;
  bool timed_out_ = false;
};

// Holds the connection's lock for a scope, as every call into the server library needs.
class PulseLock {
 public:
  explicit PulseLock(const PulseConnection& connection) : mainloop_(connection.mainloop()) {
    pa_threaded_mainloop_lock(mainloop_);
  }
  ~PulseLock() { pa_threaded_mainloop_unlock(mainloop_); }
  PulseLock(const PulseLock&) = delete;
  PulseLock& operator=(const PulseLock&) = delete;

 private:
  pa_threaded_mainloop* mainloop_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PULSE_CONNECTION_H_
