#include "media_pulse_connection.h"

#include <pulse/mainloop-api.h>
#include <pulse/rtclock.h>
#include <pulse/timeval.h>

#include <new>

namespace halvex::platform::media {
namespace {

// A local server answers within milliseconds; this only bounds a server that hangs.
constexpr pa_usec_t kReplyTimeout = 3 * PA_USEC_PER_SEC;

void SignalOnStateChange(pa_context* /*context*/, void* userdata) {
  static_cast<PulseConnection*>(userdata)->Signal();
}

}  // namespace

PulseConnection::PulseConnection(pa_threaded_mainloop* mainloop, pa_context* context)
    : mainloop_(mainloop), context_(context) {}

LoopbackError PulseConnection::Connect(std::unique_ptr<PulseConnection>* connection) {
  connection->reset();
  pa_threaded_mainloop* mainloop = pa_threaded_mainloop_new();
  if (mainloop == nullptr) {
    return LoopbackError::kOutOfMemory;
  }
  pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "halvex-host");
  if (context == nullptr) {
    pa_threaded_mainloop_free(mainloop);
    return LoopbackError::kOutOfMemory;
  }
  std::unique_ptr<PulseConnection> result(new (std::nothrow) PulseConnection(mainloop, context));
  if (!result) {
    pa_context_unref(context);
    pa_threaded_mainloop_free(mainloop);
    return LoopbackError::kOutOfMemory;
  }
  pa_context_set_state_callback(context, SignalOnStateChange, result.get());
  if (pa_threaded_mainloop_start(mainloop) < 0) {
    return LoopbackError::kOutOfMemory;
  }
  {
    PulseLock lock(*result);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return LoopbackError::kNoServer;
    }
    const bool settled = result->WaitFor([context] {
      const pa_context_state_t state = pa_context_get_state(context);
      return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled || pa_context_get_state(context) != PA_CONTEXT_READY) {
      return LoopbackError::kNoServer;
    }
  }
  *connection = std::move(result);
  return LoopbackError::kNone;
}

PulseConnection::~PulseConnection() {
  StopEvents();
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  pa_threaded_mainloop_free(mainloop_);
}

void PulseConnection::StopEvents() {
  pa_threaded_mainloop_stop(mainloop_);
}

bool PulseConnection::WaitFor(const std::function<bool()>& done) {
  if (done()) {
    return true;
  }
  timed_out_ = false;
  pa_time_event* timer = pa_context_rttime_new(
      context_, pa_rtclock_now() + kReplyTimeout,
      [](pa_mainloop_api* /*api*/, pa_time_event* /*event*/, const struct timeval* /*time*/,
         void* userdata) {
        auto* self = static_cast<PulseConnection*>(userdata);
        self->timed_out_ = true;
        self->Signal();
      },
      this);
  if (timer == nullptr) {
    return false;
  }
  while (!done() && !timed_out_) {
    pa_threaded_mainloop_wait(mainloop_);
  }
  pa_threaded_mainloop_get_api(mainloop_)->time_free(timer);
  return done();
}

bool PulseConnection::Await(pa_operation* operation) {
  if (operation == nullptr) {
    return false;
  }
  pa_operation_set_state_callback(
      operation,
      [](pa_operation* /*operation*/, void* userdata) {
        static_cast<PulseConnection*>(userdata)->Signal();
      },
      this);
  const bool finished =
      WaitFor([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  if (!finished) {
    pa_operation_cancel(operation);
  }
  const bool completed = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  pa_operation_unref(operation);
  return completed;
}

}  // namespace halvex::platform::media
