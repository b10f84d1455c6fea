#include "tests/end_to_end/process_runner.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

extern char** environ;

namespace halvex {
namespace demo {
namespace testing {
namespace {

class Pipe {
 public:
  Pipe() {
    if (pipe(ends_) != 0) {
      ends_[0] = ends_[1] = -1;
    }
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool ok() const { return ends_[0] >= 0; }
  int read_end() const { return ends_[0]; }
  int write_end() const { return ends_[1]; }
  void CloseRead() { Close(&ends_[0]); }
  void CloseWrite() { Close(&ends_[1]); }

 private:
  static void Close(int* descriptor) {
    if (*descriptor >= 0) {
      close(*descriptor);
      *descriptor = -1;
    }
  }
  int ends_[2];
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Reads what is there; returns false at the end of the stream.
bool Drain(int descriptor, std::string* sink) {
  char buffer[4096];
  const ssize_t count = read(descriptor, buffer, sizeof(buffer));
  if (count > 0) {
    sink->append(buffer, static_cast<size_t>(count));
    return true;
  }
  return count < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

ProcessResult RunProcess(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& working_directory,
                         std::chrono::seconds limit,
                         const Interruption& interruption) {
  ProcessResult result;
  Pipe out;
  Pipe err;
  if (!out.ok() || !err.ok()) {
    result.start_error = "pipe failed";
    return result;
  }
  SpawnActions actions;
  posix_spawn_file_actions_adddup2(actions.get(), out.write_end(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), err.write_end(), STDERR_FILENO);
  posix_spawn_file_actions_addclose(actions.get(), out.read_end());
  posix_spawn_file_actions_addclose(actions.get(), err.read_end());
  posix_spawn_file_actions_addchdir_np(actions.get(), working_directory.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  pid_t child = 0;
  const int spawned =
      posix_spawn(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ);
  out.CloseWrite();
  err.CloseWrite();
  if (spawned != 0) {
    result.start_error = std::string("posix_spawn failed: ") + strerror(spawned);
    return result;
  }
  result.started = true;

  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool out_open = true;
  bool err_open = true;
  bool interrupted = interruption.signal == 0;
  std::optional<std::chrono::steady_clock::time_point> signal_due;
  while (out_open || err_open) {
    if (!interrupted && !signal_due &&
        result.out.find(interruption.after_output) != std::string::npos) {
      signal_due = std::chrono::steady_clock::now() + interruption.delay;
    }
    if (!interrupted && signal_due && std::chrono::steady_clock::now() >= *signal_due) {
      kill(child, interruption.signal);
      interrupted = true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timed_out = true;
      kill(child, SIGKILL);
      break;
    }
    pollfd watched[2] = {{out_open ? out.read_end() : -1, POLLIN, 0},
                         {err_open ? err.read_end() : -1, POLLIN, 0}};
    // Woken at least every 20 ms while a signal is still to be sent.
    const int wait = interrupted ? static_cast<int>(left.count())
                                 : static_cast<int>(std::min<int64_t>(left.count(), 20));
    const int ready = poll(watched, 2, wait);
    if (ready < 0 && errno != EINTR) {
      break;
    }
    if (out_open && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      out_open = Drain(out.read_end(), &result.out);
    }
    if (err_open && (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      err_open = Drain(err.read_end(), &result.err);
    }
  }

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace testing
}  // namespace demo
}  // namespace halvex
