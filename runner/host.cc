#include "runner/host.h"

#include <windows.h>

#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "engine_host/engine_project.h"
#include "runner/close_requests.h"
#include "runner/command_line.h"
#include "runner/console.h"
#include "runner/flutter_window.h"
#include "runner/win32_window.h"

namespace halvex {
namespace {

constexpr wchar_t kDataDirectory[] = L"data";
constexpr wchar_t kWindowTitle[] = L"Halvex";
constexpr LogicalPoint kWindowOrigin{10, 10};
constexpr LogicalSize kWindowSize{1280, 720};

void RunMessageLoop() {
  MSG message{};
  // Only WM_QUIT (0) ends the loop; the error result -1 is dispatched like any message.
  while (::GetMessageW(&message, nullptr, 0, 0) != 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

int RunHost() {
  AttachOrOpenConsole();

  // Whatever the result, the window and the engine need the apartment they get.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  // Declared in reverse order of teardown: window first, then the arguments, then the project.
  EngineProject project(kDataDirectory);
  std::vector<std::string> arguments = CommandLineArguments();
  project.entrypoint_arguments = std::move(arguments);

  FlutterWindow window(project);
  if (!window.Create(kWindowTitle, kWindowOrigin, kWindowSize)) {
    // The apartment is left for the process's end to close.
    return 1;
  }
  window.SetQuitWhenClosed(true);

  {
    const ConsoleCloseRequests closeRequests(window.window_handle());
    RunMessageLoop();
  }
  ::CoUninitialize();
  return 0;
}

}  // namespace halvex
