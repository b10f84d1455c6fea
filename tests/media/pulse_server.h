// A private sound server for one test: started in a scratch folder, reached through the
// environment, and stopped by its process id when the test ends.
#ifndef HALVEX_TESTS_MEDIA_PULSE_SERVER_H_
#define HALVEX_TESTS_MEDIA_PULSE_SERVER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "scratch_folder.h"

namespace halvex::media_testing {

// Sets an environment variable for a scope and puts the old value back.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const std::string& name, const std::string& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Whether the server and its command-line clients are installed; tests that need them skip
// otherwise.
bool SoundServerAvailable();
inline constexpr char kSoundServerMissing[] =
    "pulseaudio/pactl/pacat are not installed (Debian packages pulseaudio, pulseaudio-utils); "
    "scripts/setup installs them";

class PrivateSoundServer {
 public:
  // Starts a server whose only sink, the default, is a null sink in the given sample format.
  // Null (with `error` set) when it does not come up.
  static std::unique_ptr<PrivateSoundServer> Start(const std::string& sink_format,
                                                   int rate,
                                                   int channels,
                                                   std::string* error);
  ~PrivateSoundServer();
  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

  const std::string& sink() const { return sink_; }
  const std::string& folder() const { return folder_.path(); }

  // Runs pactl against this server; true when it succeeded.
  bool Control(const std::vector<std::string>& arguments);

  // Keeps the sink rendering in real time while nothing else plays: a stream of zeros with a
  // short latency (otherwise the sink renders seconds ahead, in bursts), and a suspend and
  // resume so the sink starts over at the present moment.
  bool StartKeeper();

  // Adds a second null sink (not the default).
  bool AddSink(const std::string& name, const std::string& sink_format, int rate, int channels);

  // Plays mono 16-bit samples into the sink (the first one unless named), with a short latency so
  // that the sound starts at once; the process ends once they are played. Streams at another rate
  // than the sink's may make an idle sink switch to theirs.
  std::unique_ptr<BackgroundProcess> Play(const std::vector<std::int16_t>& samples,
                                          int rate,
                                          const std::string& sink = std::string());

  // Ends the server at once, as a crash would.
  void Kill();

 private:
  PrivateSoundServer() = default;

  ScratchFolder folder_;
  std::vector<std::unique_ptr<ScopedEnvironmentVariable>> environment_;
  std::unique_ptr<BackgroundProcess> server_;
  std::unique_ptr<BackgroundProcess> keeper_;
  std::string sink_ = "halvex_test_sink";
  int rate_ = 48000;
  int plays_ = 0;
};

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_PULSE_SERVER_H_
