// The desktop model behind the Win32 stand-in: one process-wide object, guarded by one mutex.
// No lock is held while a window procedure runs, since window procedures call back into the API.
#ifndef HALVEX_STANDIN_WIN32_DESKTOP_H_
#define HALVEX_STANDIN_WIN32_DESKTOP_H_

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "windows_testing/desktop.h"
#include "windows_testing/painting.h"

namespace halvex::platform::win32 {

enum class WindowPhase { kCreating, kAlive, kDestroying, kDestroyed };

struct WindowClassRecord {
  std::wstring name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC procedure = nullptr;
  int window_extra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  int live_windows = 0;
};

struct WindowRecord {
  HWND handle = nullptr;
  ATOM class_atom = 0;
  std::wstring class_name;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  LONG_PTR id = 0;
  std::wstring title;
  HWND parent = nullptr;  // Null for a top-level window; the message root for message-only ones.
  HWND owner = nullptr;
  DWORD creation_style = 0;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};    // In the parent's client coordinates, or the screen's for a top-level window.
  RECT client{};  // Relative to the window's top-left corner.
  std::vector<int> show_commands;
  LONG_PTR user_data = 0;
  std::vector<BYTE> extra;
  bool in_nccreate = false;
  bool non_client_dpi_scaling = false;
  WindowPhase phase = WindowPhase::kCreating;
  DWORD thread_id = 0;
  std::vector<testing::ReceivedMessage> messages;
  std::map<DWORD, std::vector<BYTE>> dwm_attributes;
  testing::WindowPainting painting;
};

// A device context handed out by BeginPaint, until EndPaint.
struct DeviceContextRecord {
  HWND window = nullptr;
  int stretch_mode = 3;  // COLORONCOLOR
};

// A message sent to a window of another thread, waiting for that thread to run it.
struct SentMessage {
  HWND hwnd;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
  DWORD sender_thread;
  LRESULT result = 0;
  bool done = false;
};

struct MessageQueue {
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit_pending = false;
  int quit_code = 0;
  std::condition_variable wake;
};

struct MonitorRecord {
  HMONITOR handle;
  RECT rect;
  UINT dpi;
};

struct RegistryEntry {
  std::wstring name;  // As first written.
  testing::RegistryValue value;
};
// Key paths and value names are folded for comparison.
using RegistryKey = std::map<std::wstring, RegistryEntry>;

struct ModuleRecord {
  std::wstring name;
  std::string path;
  void* library = nullptr;  // Null for the executable and the system modules.
  bool system = false;
  int references = 0;
};

struct ResourceKey {
  HINSTANCE module;
  int id;
  std::wstring name;
  bool is_cursor;
  bool operator<(const ResourceKey& other) const;
};

struct ConsoleModel {
  bool parent_console = false;
  bool debugger = false;
  testing::ConsoleActions actions;
};

struct Desktop {
  std::mutex mutex;

  std::uintptr_t next_handle = 0x10000;
  ATOM next_atom = 0xC000;
  std::map<ATOM, WindowClassRecord> classes;
  std::map<HWND, std::unique_ptr<WindowRecord>> windows;
  std::vector<HWND> creation_order;
  HWND focus = nullptr;
  HWND active = nullptr;
  std::map<DWORD, std::unique_ptr<MessageQueue>> queues;

  std::vector<MonitorRecord> monitors;
  std::map<std::wstring, RegistryKey> registry;
  ConsoleModel console;
  std::wstring command_line;

  std::map<HMODULE, ModuleRecord> modules;
  std::vector<testing::LibraryLoad> library_loads;
  std::set<std::string> missing_system_functions;
  std::map<ResourceKey, HANDLE> resource_handles;
  std::map<HANDLE, testing::ResourceInfo> resources;
  std::set<void*> local_blocks;
  std::map<HDC, DeviceContextRecord> device_contexts;
};

// The one model of the process. Never destroyed: threads and exit-time code may still use it.
Desktop& TheDesktop();

// A fresh handle value: never zero, never reused within the process.
std::uintptr_t NewHandleValue(Desktop& desktop);
template <typename Handle>
Handle NewHandle(Desktop& desktop) {
  return reinterpret_cast<Handle>(NewHandleValue(desktop));
}

// Puts the model back to its start. Called with the lock held.
void ResetLocked(Desktop& desktop);
void ResetMonitorsLocked(Desktop& desktop);
void ResetModulesLocked(Desktop& desktop);
void ResetConsoleLocked(Desktop& desktop);
void ResetCommandLineLocked(Desktop& desktop);
// Outside tests the console model starts from the process's own situation: a terminal to attach
// to, a debugger tracing it.
void DetectProcessConsoleLocked(Desktop& desktop);

// Counts the call for fault injection; on an injected failure sets the last error to the
// failure's code and returns true.
bool InjectedFault(const char* call);

// ASCII case folding, as the model compares class names, module names and registry paths.
std::wstring FoldCase(const std::wstring& text);

// The executable's path, from the system.
std::string ExecutablePath();

}  // namespace halvex::platform::win32

#endif  // HALVEX_STANDIN_WIN32_DESKTOP_H_
