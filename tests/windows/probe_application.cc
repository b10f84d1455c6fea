// An application library for the Wine tests. It reports what the host gave it and how the host's
// window looks once it is shown, makes the probe's recorder channel calls through the engine, and
// returns 0, so that the engine closes the window and the host ends. The report goes to the file
// named by HALVEX_PROBE_REPORT; the recording asked for is HALVEX_PROBE_RECORDING (no calls are
// made without it).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/engine/halvex_app.h"
#include "recorder/application_id.h"
#include "tests/windows/probe_channel_calls.h"

namespace {

using halvex::testing::ToHex;

// The host shows its window from the platform thread once the first frame is drawn.
HWND WaitForShownWindow() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    HWND window = FindWindowW(L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr);
    if (window != nullptr && IsWindowVisible(window)) {
      return window;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

// An environment variable of the process, or an empty string when it is not set.
std::string Environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length == 0 || length >= sizeof(value) ? std::string() : std::string(value, length);
}

void ReportWindow(HWND window, std::ostream& report) {
  report << "shown " << (window != nullptr ? 1 : 0) << "\n";
  if (window == nullptr) {
    return;
  }
  RECT outer{};
  GetWindowRect(window, &outer);
  RECT client{};
  GetClientRect(window, &client);
  report << "window_rect " << outer.left << " " << outer.top << " " << outer.right << " "
         << outer.bottom << "\n";
  report << "client_size " << client.right - client.left << " " << client.bottom - client.top
         << "\n";
  report << "zoomed " << (IsZoomed(window) ? 1 : 0) << "\n";
  report << "iconic " << (IsIconic(window) ? 1 : 0) << "\n";
  report << "dpi " << GetDpiForWindow(window) << "\n";
}

void MakeChannelCalls(const HalvexEngineServices* services,
                      const std::string& recording,
                      std::ostream& report) {
  const std::string channel = halvex::RecorderChannelName();
  const std::vector<halvex::testing::ProbeChannelCall> calls =
      halvex::testing::ProbeChannelCalls(recording);
  for (size_t i = 0; i < calls.size(); ++i) {
    const uint8_t* reply = nullptr;
    size_t replySize = 0;
    const int answered =
        services->send_message(services->engine, channel.c_str(), calls[i].call.data(),
                               calls[i].call.size(), &reply, &replySize);
    const std::vector<uint8_t> bytes =
        reply == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(reply, reply + replySize);
    report << "answer " << i << " " << answered << " " << ToHex(bytes) << "\n";
  }
}

}  // namespace

extern "C" HALVEX_APP_EXPORT int HalvexApplicationMain(const HalvexEngineServices* services,
                                                       int argc,
                                                       const char* const* argv) {
  std::ostringstream report;
  report << "arguments " << argc << "\n";
  for (int i = 0; i < argc; ++i) {
    const std::string argument(argv[i]);
    report << "argument " << ToHex(std::vector<uint8_t>(argument.begin(), argument.end())) << "\n";
  }
  ReportWindow(WaitForShownWindow(), report);
  const std::string recording = Environment("HALVEX_PROBE_RECORDING");
  if (!recording.empty()) {
    MakeChannelCalls(services, recording, report);
  }
  report << "end\n";

  const std::string path = Environment("HALVEX_PROBE_REPORT");
  if (!path.empty()) {
    std::ofstream(path.c_str(), std::ios::binary) << report.str();
  }
  return 0;
}
