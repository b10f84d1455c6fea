// Runs the application library on a thread of its own.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_APPLICATION_RUNNER_H_
#define HALVEX_PLATFORM_ENGINE_SRC_APPLICATION_RUNNER_H_

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "messenger_state.h"
#include "platform/engine/halvex_app.h"

namespace halvex::engine {

// Loads the library at `library_path`, calls its HalvexApplicationMain with `arguments` on a
// new thread and then calls `on_finished` on that thread with the status. A library that cannot
// be loaded, or that lacks the entry point, is reported in one line on standard error and
// finishes at once with a non-zero status.
class ApplicationRunner {
 public:
  // The status given to `on_finished` when the application could not be started.
  static constexpr int kNotStartedStatus = -1;

  ApplicationRunner(std::wstring library_path,
                    std::vector<std::string> arguments,
                    HalvexEngineServices services,
                    std::function<void(int status)> on_finished);
  // Joins the thread: the caller first makes sure every call the application may be waiting in
  // returns.
  ~ApplicationRunner();

  ApplicationRunner(const ApplicationRunner&) = delete;
  ApplicationRunner& operator=(const ApplicationRunner&) = delete;

 private:
  void Run();

  std::wstring library_path_;
  std::vector<std::string> arguments_;
  HalvexEngineServices services_;
  std::function<void(int status)> on_finished_;
  HMODULE library_ = nullptr;
  std::thread thread_;
};

// Resolves a relative library path against the directory of the running executable.
std::wstring ResolveBesideExecutable(const std::wstring& path);

}  // namespace halvex::engine

#endif  // HALVEX_PLATFORM_ENGINE_SRC_APPLICATION_RUNNER_H_
