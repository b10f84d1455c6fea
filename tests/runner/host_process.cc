#include "host_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace halvex::testing {
namespace {

std::string ReadAndRemove(const std::string& path) {
  std::string text;
  {
    std::ifstream file(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  std::remove(path.c_str());
  return text;
}

std::string TemporaryFile(const char* kind) {
  std::string path = std::string("/tmp/halvex-host-") + kind + "-XXXXXX";
  const int descriptor = mkstemp(path.data());
  if (descriptor >= 0) {
    close(descriptor);
  }
  return path;
}

// Lets a traced child run on: the stop at exec and any signal it gets are passed through.
int WaitTraced(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) {
      return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
      return -1;
    }
    if (WIFSTOPPED(status)) {
      const int signal_number = WSTOPSIG(status);
      const long forwarded = signal_number == SIGTRAP ? 0 : signal_number;
      ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(forwarded));
    }
  }
  return -1;
}

}  // namespace

HostResult RunHostProcess(const std::string& executable, const HostStart& start) {
  HostResult result;
  const std::string output_path = TemporaryFile("out");
  const std::string errors_path = TemporaryFile("err");

  int terminal = -1;
  std::string terminal_name;
  if (start.from_terminal) {
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) {
      return result;
    }
    terminal_name = ptsname(terminal);
  }

  std::vector<std::string> argument_texts = {executable};
  argument_texts.insert(argument_texts.end(), start.arguments.begin(), start.arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argument_texts) {
    argv.push_back(text.data());
  }
  argv.push_back(nullptr);

  // A leak check stops the world with ptrace, which a traced process cannot do.
  const char* sanitizer_options = getenv("ASAN_OPTIONS");
  const std::string traced_sanitizer_options =
      (sanitizer_options != nullptr ? std::string(sanitizer_options) + ":" : std::string()) +
      "detect_leaks=0";

  const pid_t child = fork();
  if (child == 0) {
    const int input = start.from_terminal ? open(terminal_name.c_str(), O_RDWR | O_NOCTTY)
                                          : open("/dev/null", O_RDONLY);
    const int output = open(output_path.c_str(), O_WRONLY | O_TRUNC);
    const int errors = open(errors_path.c_str(), O_WRONLY | O_TRUNC);
    if (input < 0 || output < 0 || errors < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 ||
        dup2(errors, 2) < 0) {
      _exit(126);
    }
    if (start.under_debugger) {
      if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
        _exit(125);
      }
      setenv("ASAN_OPTIONS", traced_sanitizer_options.c_str(), 1);
    }
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  if (child > 0) {
    result.started = true;
    if (start.under_debugger) {
      result.exit_code = WaitTraced(child);
    } else {
      int status = 0;
      waitpid(child, &status, 0);
      result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
  }
  if (terminal >= 0) {
    close(terminal);
  }
  result.output = ReadAndRemove(output_path);
  result.errors = ReadAndRemove(errors_path);
  return result;
}

}  // namespace halvex::testing
