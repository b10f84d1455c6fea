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
  // name whenever the server's default sink changes, and `lost` once if the server goes away,
  // both on the connection's event thread. Neither may destroy the watch.
  static LoopbackError Start(std::function<void(const std::string& sink)> changed,
                             std::function<void()> lost,
                             std::unique_ptr<PulseDefaultSinkWatch>* watch);

  ~PulseDefaultSinkWatch();
  PulseDefaultSinkWatch(const PulseDefaultSinkWatch&) = delete;
  PulseDefaultSinkWatch& operator=(const PulseDefaultSinkWatch&) = delete;

  // The default sink's name as last heard; empty before the first answer.
  std::string DefaultSink() const;

 private:
  PulseDefaultSinkWatch(std::function<void(const std::string&)> changed,
                        std::function<void()> lost);
  void AskForDefaultSink();
  void Heard(const char* sink);
  void StateChanged();

  const std::function<void(const std::string&)> changed_;
  const std::function<void()> lost_;
  bool lost_told_ = false;    // guarded by the connection's lock
  std::string default_sink_;  // guarded by the connection's lock
  std::unique_ptr<PulseConnection> connection_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PULSE_DEFAULT_SINK_WATCH_H_
