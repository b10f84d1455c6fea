// Test controls for the Win32 desktop model: script the monitors, the registry, the console, the
// debugger and the command line; inspect windows, their messages, classes, DWM attributes,
// console actions and module loads. Product code never includes this header.
#ifndef HALVEX_WINDOWS_TESTING_DESKTOP_H_
#define HALVEX_WINDOWS_TESTING_DESKTOP_H_

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace halvex::testing {

// The non-client frame of the model, in pixels (the same at every DPI).
inline constexpr int kSizingFrameWidth = 8;  // WS_THICKFRAME, on each side.
inline constexpr int kDialogFrameWidth = 3;  // WS_DLGFRAME without a sizing frame.
inline constexpr int kBorderWidth = 1;       // WS_BORDER alone.
inline constexpr int kClientEdgeWidth = 2;   // WS_EX_CLIENTEDGE, added to the above.
inline constexpr int kCaptionHeight = 23;    // WS_CAPTION, at the top.

// Puts the whole desktop model back to its start: no windows, classes, queued messages, registry
// values, DWM attributes, console actions or module-load records; one 1920 x 1080 monitor of
// 96 dpi at the origin; no parent console and no debugger; the process's own command line; every
// system function present. Threads keep their (emptied) queues.
void ResetDesktop();

// Resets the desktop when constructed and again when destroyed.
class ScopedDesktop {
 public:
  ScopedDesktop() { ResetDesktop(); }
  ~ScopedDesktop() { ResetDesktop(); }
  ScopedDesktop(const ScopedDesktop&) = delete;
  ScopedDesktop& operator=(const ScopedDesktop&) = delete;
};

// ---- Monitors ----

struct MonitorLayout {
  RECT rect;  // Screen coordinates; the work area is the same.
  UINT dpi;
};

// Replaces the monitors; the first is the primary one. An empty list is ignored.
void SetMonitors(const std::vector<MonitorLayout>& monitors);
// Sets the DPI of the monitor at `index` in the list; false when there is none.
bool SetMonitorDpi(size_t index, UINT dpi);
// Sets the DPI of the monitor nearest to `point`.
void SetDpiForPoint(POINT point, UINT dpi);

// ---- Registry (current user) ----

struct RegistryValue {
  DWORD type;
  std::vector<BYTE> data;  // Strings as wchar_t units, terminator included.
};

void SetRegistryValue(const std::wstring& key, const std::wstring& name, RegistryValue value);
void SetRegistryDword(const std::wstring& key, const std::wstring& name, DWORD value);
void SetRegistryString(const std::wstring& key,
                       const std::wstring& name,
                       const std::wstring& value,
                       DWORD type = REG_SZ);
// Removes one value; the key stays. False when there was none.
bool RemoveRegistryValue(const std::wstring& key, const std::wstring& name);
// Removes a key with its values and subkeys. False when there was none.
bool RemoveRegistryKey(const std::wstring& key);
std::optional<RegistryValue> GetRegistryValue(const std::wstring& key, const std::wstring& name);

// ---- Console and debugger ----

void SetParentConsole(bool present);
void SetDebuggerPresent(bool present);

struct StreamReopening {
  int descriptor;  // Of the stream that was reopened: 1 for stdout, 2 for stderr.
  std::string path;
  std::string mode;
  bool succeeded;
};

struct ConsoleActions {
  int attach_calls = 0;
  bool attached = false;
  int alloc_calls = 0;
  bool allocated = false;
  std::vector<StreamReopening> reopenings;
  std::vector<std::pair<int, int>> duplications;  // (from, to) of each _dup2.
};
ConsoleActions GetConsoleActions();

// ---- Command line ----

// The exact text GetCommandLineW returns from now on.
void SetCommandLine(const std::wstring& command_line);
// Builds the text from UTF-8 arguments (the first is the program path) as the start-up code does.
void SetCommandLineArguments(const std::vector<std::string>& arguments);

// ---- Windows and classes ----

struct ReceivedMessage {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

struct WindowInfo {
  HWND handle = nullptr;
  std::wstring class_name;
  std::wstring title;
  HWND parent = nullptr;  // Null for a top-level window.
  HWND owner = nullptr;
  DWORD creation_style = 0;  // As passed to CreateWindowExW.
  DWORD style = 0;           // Now.
  DWORD ex_style = 0;
  RECT window_rect{};              // Screen coordinates.
  RECT client_rect{};              // Client coordinates: left and top are 0.
  bool visible = false;            // Its own WS_VISIBLE, whatever its ancestors.
  std::vector<int> show_commands;  // Every ShowWindow command, in order.
  bool focused = false;
  bool active = false;
  LONG_PTR user_data = 0;
  bool non_client_dpi_scaling = false;  // EnableNonClientDpiScaling succeeded for it.
  bool destroyed = false;
  DWORD thread_id = 0;
  std::vector<ReceivedMessage> messages;  // Every call of its procedure by the system, in order.
};

// Every window that was created since the last reset, destroyed or not, in creation order.
std::vector<HWND> AllWindows();
std::vector<HWND> WindowsOfClass(const std::wstring& class_name);
std::optional<WindowInfo> InspectWindow(HWND window);
// The message identifiers of InspectWindow(window)->messages; empty for an unknown window.
std::vector<UINT> MessageIds(HWND window);
void ClearMessages(HWND window);

struct ClassInfo {
  std::wstring name;
  UINT style = 0;
  WNDPROC procedure = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  int live_windows = 0;
};
std::optional<ClassInfo> InspectClass(const std::wstring& name);

// What an icon or cursor handle was loaded from: its module (null for a predefined one) and its
// numeric resource identifier (0 for a named one) or name.
struct ResourceInfo {
  HINSTANCE module = nullptr;
  int id = 0;
  std::wstring name;
  bool is_cursor = false;
};
std::optional<ResourceInfo> InspectResource(HANDLE icon_or_cursor);

// ---- Desktop window manager ----

// The bytes last set for `attribute` on `window`.
std::optional<std::vector<BYTE>> GetDwmAttribute(HWND window, DWORD attribute);
std::optional<DWORD> GetDwmAttributeDword(HWND window, DWORD attribute);

// ---- Modules ----

struct LibraryLoad {
  std::wstring name;     // As passed to LoadLibraryA or LoadLibraryW.
  std::string resolved;  // The file that was loaded, empty when none.
  bool succeeded;
};
std::vector<LibraryLoad> LibraryLoads();
// Makes a system function (such as "EnableNonClientDpiScaling") absent from or present in its
// system module, as on older systems.
void SetSystemFunctionAvailable(const std::string& name, bool available);

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_DESKTOP_H_
