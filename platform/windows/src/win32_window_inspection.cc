// Test controls that look at windows: what they are, where they are and what they received.
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::testing {

using platform::win32::Desktop;
using platform::win32::TheDesktop;
using platform::win32::WindowPhase;

std::vector<HWND> AllWindows() {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return desktop.creation_order;
}

std::vector<HWND> WindowsOfClass(const std::wstring& class_name) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const std::wstring folded = platform::win32::FoldCase(class_name);
  std::vector<HWND> windows;
  for (HWND hwnd : desktop.creation_order) {
    if (platform::win32::FoldCase(desktop.windows.at(hwnd)->class_name) == folded) {
      windows.push_back(hwnd);
    }
  }
  return windows;
}

std::optional<WindowInfo> InspectWindow(HWND window) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto found = desktop.windows.find(window);
  if (found == desktop.windows.end()) {
    return std::nullopt;
  }
  const platform::win32::WindowRecord& record = *found->second;
  WindowInfo info;
  info.handle = record.handle;
  info.class_name = record.class_name;
  info.title = record.title;
  info.parent = record.parent;
  info.owner = record.owner;
  info.creation_style = record.creation_style;
  info.style = record.style;
  info.ex_style = record.ex_style;
  info.window_rect = platform::win32::ScreenRectLocked(desktop, record);
  info.client_rect = RECT{0, 0, record.client.right - record.client.left,
                          record.client.bottom - record.client.top};
  info.visible = (record.style & WS_VISIBLE) != 0;
  info.show_commands = record.show_commands;
  info.focused = desktop.focus == window;
  info.active = desktop.active == window;
  info.user_data = record.user_data;
  info.non_client_dpi_scaling = record.non_client_dpi_scaling;
  info.destroyed = record.phase == WindowPhase::kDestroyed;
  info.thread_id = record.thread_id;
  info.messages = record.messages;
  return info;
}

std::vector<UINT> MessageIds(HWND window) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  std::vector<UINT> ids;
  auto found = desktop.windows.find(window);
  if (found != desktop.windows.end()) {
    for (const ReceivedMessage& message : found->second->messages) {
      ids.push_back(message.message);
    }
  }
  return ids;
}

void ClearMessages(HWND window) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto found = desktop.windows.find(window);
  if (found != desktop.windows.end()) {
    found->second->messages.clear();
  }
}

}  // namespace halvex::testing
