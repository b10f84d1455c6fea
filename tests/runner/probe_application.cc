// An application library for the end-to-end tests: it reports, on standard output, what the host
// gave it and did before it ran (arguments, console actions, channels, the window's state), then
// returns the exit status it was asked for.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/engine/engine_testing.h"
#include "platform/engine/halvex_app.h"
#include "windows_testing/desktop.h"

namespace {

// "stop" with no arguments, in the standard method codec.
constexpr uint8_t kStopCall[] = {0x07, 0x04, 's', 't', 'o', 'p', 0x00};

void ReportReply(const HalvexEngineServices* services, const char* label, const char* channel) {
  const uint8_t* reply = nullptr;
  size_t reply_size = 0;
  const int answered = services->send_message(services->engine, channel, kStopCall,
                                              sizeof(kStopCall), &reply, &reply_size);
  std::printf("%s: answered=%d size=%zu first=%d\n", label, answered, reply_size,
              reply_size > 0 ? reply[0] : -1);
}

// The host shows its window from the platform thread once a frame is drawn; wait for that.
bool WaitForShownWindow(int* show_commands) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (HWND window : halvex::testing::WindowsOfClass(L"FLUTTER_RUNNER_WIN32_WINDOW")) {
      const auto info = halvex::testing::InspectWindow(window);
      if (info.has_value() && info->visible) {
        *show_commands = static_cast<int>(info->show_commands.size());
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace

extern "C" HALVEX_APP_EXPORT int HalvexApplicationMain(const HalvexEngineServices* services,
                                                       int argc,
                                                       const char* const* argv) {
  int exit_status = 0;
  std::printf("arguments: %d\n", argc);
  for (int i = 0; i < argc; ++i) {
    std::printf("argument %d: [%s]\n", i, argv[i]);
    if (std::string(argv[i]) == "--exit-with" && i + 1 < argc) {
      exit_status = std::atoi(argv[i + 1]);
    }
  }

  const halvex::testing::ConsoleActions console = halvex::testing::GetConsoleActions();
  std::printf(
      "console: attach_calls=%d attached=%d alloc_calls=%d allocated=%d reopened=%zu "
      "duplications=%zu resyncs=%d\n",
      console.attach_calls, console.attached ? 1 : 0, console.alloc_calls,
      console.allocated ? 1 : 0, console.reopenings.size(), console.duplications.size(),
      halvex::engine_testing::CallCounts().resync_output_streams);

  ReportReply(services, "recorder", "com.halvex.camera/desktop_recorder");
  ReportReply(services, "plugin", "gal_plugin");
  ReportReply(services, "unhandled", "no.such/channel");

  services->frame_drawn(services->engine);
  int show_commands = 0;
  const bool shown = WaitForShownWindow(&show_commands);
  std::printf("window: shown=%d show_commands=%d\n", shown ? 1 : 0, show_commands);

  std::fflush(stdout);
  std::fprintf(stderr, "probe: error stream still reaches its reader\n");
  std::fflush(stderr);
  return exit_status;
}
