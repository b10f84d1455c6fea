#include "media_pulse_default_sink_watch.h"

#include <pulse/introspect.h>
#include <pulse/subscribe.h>

#include <new>
#include <utility>

#include "media_pulse_connection.h"

namespace halvex::platform::media {

PulseDefaultSinkWatch::PulseDefaultSinkWatch(std::function<void(const std::string&)> changed,
                                             std::function<void()> lost)
    : changed_(std::move(changed)), lost_(std::move(lost)) {}

PulseDefaultSinkWatch::~PulseDefaultSinkWatch() {
  if (connection_) {
    connection_->StopEvents();
  }
}

LoopbackError PulseDefaultSinkWatch::Start(std::function<void(const std::string&)> changed,
                                           std::function<void()> lost,
                                           std::unique_ptr<PulseDefaultSinkWatch>* watch) {
  watch->reset();
  std::unique_ptr<PulseDefaultSinkWatch> result(
      new (std::nothrow) PulseDefaultSinkWatch(std::move(changed), std::move(lost)));
  if (!result) {
    return LoopbackError::kOutOfMemory;
  }
  const LoopbackError error = PulseConnection::Connect(&result->connection_);
  if (error != LoopbackError::kNone) {
    return error;
  }
  PulseConnection& connection = *result->connection_;
  PulseLock lock(connection);
  pa_context_set_state_callback(
      connection.context(),
      [](pa_context* /*context*/, void* userdata) {
        static_cast<PulseDefaultSinkWatch*>(userdata)->StateChanged();
      },
      result.get());
  pa_context_set_subscribe_callback(
      connection.context(),
      [](pa_context* /*context*/, pa_subscription_event_type_t type, std::uint32_t /*index*/,
         void* userdata) {
        // The default sink is a property of the server: its change event says it may have moved.
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER) {
          static_cast<PulseDefaultSinkWatch*>(userdata)->AskForDefaultSink();
        }
      },
      result.get());
  if (!connection.Await(pa_context_subscribe(connection.context(), PA_SUBSCRIPTION_MASK_SERVER,
                                             nullptr, nullptr))) {
    return LoopbackError::kNoServer;
  }
  // The first answer sets the name without a change to report.
  result->AskForDefaultSink();
  if (!connection.WaitFor([watch = result.get()] { return !watch->default_sink_.empty(); })) {
    return LoopbackError::kNoDefaultSink;
  }
  *watch = std::move(result);
  return LoopbackError::kNone;
}

std::string PulseDefaultSinkWatch::DefaultSink() const {
  PulseLock lock(*connection_);
  return default_sink_;
}

void PulseDefaultSinkWatch::AskForDefaultSink() {
  pa_operation* operation = pa_context_get_server_info(
      connection_->context(),
      [](pa_context* /*context*/, const pa_server_info* info, void* userdata) {
        auto* self = static_cast<PulseDefaultSinkWatch*>(userdata);
        self->Heard(info != nullptr ? info->default_sink_name : nullptr);
        self->connection_->Signal();
      },
      this);
  if (operation != nullptr) {
    pa_operation_unref(operation);
  }
}

void PulseDefaultSinkWatch::StateChanged() {
  connection_->Signal();
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_->context())) && !lost_told_) {
    lost_told_ = true;
    if (lost_) {
      lost_();
    }
  }
}

void PulseDefaultSinkWatch::Heard(const char* sink) {
  if (sink == nullptr || *sink == '\0' || default_sink_ == sink) {
    return;
  }
  const bool first = default_sink_.empty();
  default_sink_ = sink;
  if (!first && changed_) {
    changed_(default_sink_);
  }
}

}  // namespace halvex::platform::media
