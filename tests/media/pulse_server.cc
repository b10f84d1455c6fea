#include "pulse_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace halvex::media_testing {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::string& name,
                                                     const std::string& value)
    : name_(name) {
  if (const char* old = getenv(name.c_str())) {
    saved_ = old;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (saved_) {
    setenv(name_.c_str(), saved_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

bool SoundServerAvailable() {
  return ProgramAvailable("pulseaudio") && ProgramAvailable("pactl") && ProgramAvailable("pacat");
}

std::unique_ptr<PrivateSoundServer> PrivateSoundServer::Start(const std::string& sink_format,
                                                              int rate,
                                                              int channels,
                                                              std::string* error) {
  std::unique_ptr<PrivateSoundServer> server(new PrivateSoundServer());
  server->rate_ = rate;
  const std::string folder = server->folder_.path();
  const std::string socket = folder + "/pulse.sock";
  for (const char* name : {"home", "runtime"}) {
    const std::string path = folder + "/" + name;
    if (mkdir(path.c_str(), 0700) != 0) {
      *error = "cannot create " + path;
      return nullptr;
    }
  }
  server->environment_.push_back(
      std::make_unique<ScopedEnvironmentVariable>("HOME", folder + "/home"));
  server->environment_.push_back(
      std::make_unique<ScopedEnvironmentVariable>("XDG_RUNTIME_DIR", folder + "/runtime"));
  server->environment_.push_back(
      std::make_unique<ScopedEnvironmentVariable>("PULSE_SERVER", "unix:" + socket));

  server->server_ = BackgroundProcess::Start(
      {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
       "--log-target=stderr", "-L",
       "module-native-protocol-unix socket=" + socket + " auth-anonymous=1", "-L",
       "module-null-sink sink_name=" + server->sink_ + " format=" + sink_format +
           " rate=" + std::to_string(rate) + " channels=" + std::to_string(channels)},
      folder + "/server.log");
  if (!server->server_) {
    *error = "pulseaudio could not be started";
    return nullptr;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!server->Control({"info"})) {
    if (!server->server_->Running() || std::chrono::steady_clock::now() > deadline) {
      *error = "pulseaudio did not come up; its log: " +
               std::string(ReadFile(folder + "/server.log").begin(),
                           ReadFile(folder + "/server.log").end());
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return server;
}

PrivateSoundServer::~PrivateSoundServer() {
  keeper_.reset();
  server_.reset();
  environment_.clear();
}

bool PrivateSoundServer::Control(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {"pactl"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunCommand(command, std::chrono::seconds(10)).exit_code == 0;
}

bool PrivateSoundServer::StartKeeper() {
  keeper_ = BackgroundProcess::Start(
      {"pacat", "--playback", "--raw", "--device=" + sink_, "--format=s16le",
       "--rate=" + std::to_string(rate_), "--channels=1", "--latency-msec=20", "/dev/zero"},
      folder_.File("keeper.log"));
  if (!keeper_) {
    return false;
  }
  // Wait until the keeper's stream exists, then restart the sink's clock.
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  for (;;) {
    const CommandResult inputs =
        RunCommand({"pactl", "list", "short", "sink-inputs"}, std::chrono::seconds(10));
    if (inputs.exit_code == 0 && !inputs.out.empty()) {
      break;
    }
    if (!keeper_->Running() || std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return Control({"suspend-sink", sink_, "1"}) && Control({"suspend-sink", sink_, "0"});
}

bool PrivateSoundServer::AddSink(const std::string& name,
                                 const std::string& sink_format,
                                 int rate,
                                 int channels) {
  return Control({"load-module", "module-null-sink", "sink_name=" + name, "format=" + sink_format,
                  "rate=" + std::to_string(rate), "channels=" + std::to_string(channels)});
}

std::unique_ptr<BackgroundProcess> PrivateSoundServer::Play(
    const std::vector<std::int16_t>& samples,
    int rate,
    const std::string& sink) {
  const std::string file = folder_.File("play" + std::to_string(plays_++) + ".raw");
  std::vector<std::uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  WriteFile(file, bytes);
  return BackgroundProcess::Start(
      {"pacat", "--playback", "--raw", "--device=" + (sink.empty() ? sink_ : sink),
       "--format=s16le", "--rate=" + std::to_string(rate), "--channels=1", "--latency-msec=20",
       file},
      folder_.File("player.log"));
}

void PrivateSoundServer::Kill() {
  if (server_ && server_->Running()) {
    kill(server_->pid(), SIGKILL);
    server_->Wait(std::chrono::seconds(5));
  }
}

}  // namespace halvex::media_testing
