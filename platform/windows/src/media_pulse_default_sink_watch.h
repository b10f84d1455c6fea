// Follows the sound server's choice of default output device, as Windows tells audio clients of a
// new default endpoint.
#ifndef HALVEX_STANDIN_MEDIA_PULSE_DEFAULT_SINK_WATCH_H_
#define HALVEX_STANDIN_MEDIA_PULSE_DEFAULT_SINK_WATCH_H_

#include <functional>
#include <memory>
#include <string>

#include "media_pulse_capture.h"

namespace halvex::platform::media {

class PulseConnection;

class PulseDefaultSinkWatch {
 public:
  // Connects to the server the environment names and calls `changed` with the new default sink's
  // name whenever the server's default sink changes, on the connection's event thread. `changed`
  // must not destroy the watch.
  static LoopbackError Start(std::function<void(const std::string& sink)> changed,
                             std::unique_ptr<PulseDefaultSinkWatch>* watch);

  ~PulseDefaultSinkWatch();
  PulseDefaultSinkWatch(const PulseDefaultSinkWatch&) = delete;
  PulseDefaultSinkWatch& operator=(const PulseDefaultSinkWatch&) = delete;

  // The default sink's name as last heard; empty before the first answer.
  std::string DefaultSink() const;

 private:
  explicit PulseDefaultSinkWatch(std::function<void(const std::string&)> changed);
  void AskForDefaultSink();
  void Heard(const char* sink);

  const std::function<void(const std::string&)> changed_;
  std::string default_sink_;  // guarded by the connection's lock
  std::unique_ptr<PulseConnection> connection_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PULSE_DEFAULT_SINK_WATCH_H_
