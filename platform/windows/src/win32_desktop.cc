#include "win32_desktop.h"

#include <unistd.h>

#include <climits>
#include <tuple>

#include "fault_injection.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {

bool ResourceKey::operator<(const ResourceKey& other) const {
  return std::tie(module, id, name, is_cursor) <
         std::tie(other.module, other.id, other.name, other.is_cursor);
}

Desktop& TheDesktop() {
  static Desktop* desktop = [] {
    auto* made = new Desktop();
    std::lock_guard<std::mutex> lock(made->mutex);
    ResetLocked(*made);
    DetectProcessConsoleLocked(*made);
    return made;
  }();
  return *desktop;
}

std::uintptr_t NewHandleValue(Desktop& desktop) {
  desktop.next_handle += 0x10;
  return desktop.next_handle;
}

void ResetLocked(Desktop& desktop) {
  ResetWindowsLocked(desktop);
  desktop.classes.clear();
  desktop.registry.clear();
  desktop.resource_handles.clear();
  desktop.resources.clear();
  ResetMonitorsLocked(desktop);
  ResetModulesLocked(desktop);
  ResetConsoleLocked(desktop);
  ResetCommandLineLocked(desktop);
}

bool InjectedFault(const char* call) {
  const std::optional<HRESULT> fault = CheckFault(call);
  if (!fault) {
    return false;
  }
  SetLastError(static_cast<DWORD>(HRESULT_CODE(*fault)));
  return true;
}

std::wstring FoldCase(const std::wstring& text) {
  std::wstring folded = text;
  for (wchar_t& unit : folded) {
    if (unit >= L'A' && unit <= L'Z') {
      unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
  }
  return folded;
}

std::string ExecutablePath() {
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
  if (length <= 0) {
    return std::string();
  }
  path.resize(static_cast<size_t>(length));
  return path;
}

}  // namespace halvex::platform::win32

namespace halvex::testing {

void ResetDesktop() {
  platform::win32::Desktop& desktop = platform::win32::TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  platform::win32::ResetLocked(desktop);
}

}  // namespace halvex::testing
