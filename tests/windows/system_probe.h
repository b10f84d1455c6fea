// What the system-behaviour tests need from the system beneath them beyond its documented API:
// a clean slate per case, the frame metrics windows are laid out with, and a way to put values
// into the user's registry. On Windows these are real calls; against the desktop model they are
// its test controls. Everything else those tests do goes through the Windows API alone, so one
// table of expectations checks Windows and the model alike.
#ifndef HALVEX_TESTS_WINDOWS_SYSTEM_PROBE_H_
#define HALVEX_TESTS_WINDOWS_SYSTEM_PROBE_H_

#include <windows.h>
#include <mfobjects.h>

#include <string>
#include <vector>

namespace halvex::testing {

// True against the desktop model, false on Windows (or Wine).
bool RunsOnTheDesktopModel();

// True under Wine, whose known departures from Windows the tests name where they allow them.
bool RunsUnderWine();

// Starts a case with no windows, classes or queued messages left by an earlier one, and leaves
// none behind when it ends.
class SystemProbeScope {
 public:
  SystemProbeScope();
  ~SystemProbeScope();
  SystemProbeScope(const SystemProbeScope&) = delete;
  SystemProbeScope& operator=(const SystemProbeScope&) = delete;
};

// The widths of the non-client parts a style adds, in pixels: each frame on every side, the
// caption at the top only.
struct FrameMetrics {
  int sizing_frame = 0;  // WS_THICKFRAME (padding included)
  int dialog_frame = 0;  // WS_DLGFRAME without WS_THICKFRAME
  int border = 0;        // WS_BORDER alone
  int client_edge = 0;   // WS_EX_CLIENTEDGE, on top of the others
  int caption = 0;       // WS_CAPTION
};
FrameMetrics SystemFrameMetrics();

// Stores a value of the current user; strings are given as their UTF-16 bytes.
void StoreUserRegistryValue(const std::wstring& key,
                            const std::wstring& name,
                            DWORD type,
                            const std::vector<BYTE>& data);
// Removes a key of the current user with all it holds.
void RemoveUserRegistryKey(const std::wstring& key);
// Sets a variable of this process's environment, as registry expansion sees it.
void SetProcessVariable(const std::wstring& name, const std::wstring& value);

// The keys of an attribute store in the store's order.
std::vector<GUID> AttributeKeysInOrder(IMFAttributes* attributes);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_SYSTEM_PROBE_H_
