// Internal operations on the window tree, shared by the windowing, message and DWM files. Functions
// named ...Locked expect the desktop's lock to be held; the others take it themselves and never
// hold it while a window procedure runs.
#ifndef HALVEX_STANDIN_WIN32_WINDOWS_H_
#define HALVEX_STANDIN_WIN32_WINDOWS_H_

#include "win32_desktop.h"

namespace halvex::platform::win32 {

// Flags that the system adds to WINDOWPOS for WM_WINDOWPOSCHANGED: the client area kept its size
// or its position, so the default handling sends no WM_SIZE or WM_MOVE.
inline constexpr UINT kNoClientSize = 0x0800;
inline constexpr UINT kNoClientMove = 0x1000;

// The parent of message-only windows.
HWND MessageRoot();

// A window that exists (including while it is being created or destroyed), or null.
WindowRecord* FindWindowLocked(Desktop& desktop, HWND hwnd);
// As above, but only while it is being created or is alive (not once destruction started).
WindowRecord* FindLiveWindowLocked(Desktop& desktop, HWND hwnd);
bool IsTopLevel(const WindowRecord& window);
bool IsInSubtreeLocked(Desktop& desktop, HWND root, HWND hwnd);

RECT NonClientInsets(DWORD style, DWORD ex_style);
RECT ScreenRectLocked(Desktop& desktop, const WindowRecord& window);
// The client area's top-left corner in the parent's client coordinates (screen for top-level).
POINT ClientOriginInParentLocked(const WindowRecord& window);

// The client rectangle, relative to the window, from the one WM_NCCALCSIZE left; kept inside the
// window.
RECT ClientFromCalculated(const RECT& window, const RECT& calculated);

// Calls the window's procedure on its own thread (directly, or by waiting for that thread) and
// records the message. An invalid window gets nothing and yields 0.
LRESULT SendToWindow(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The message queue of the calling thread, made on first use.
MessageQueue& EnsureQueueLocked(Desktop& desktop);
// Drops posted messages for a window that is gone.
void PurgeMessagesLocked(Desktop& desktop, HWND hwnd);

// A class by name (ASCII case ignored; one registered by `instance`, or the executable for a null
// instance, comes before one of another module) or by atom.
WindowClassRecord* FindClassLocked(Desktop& desktop, LPCWSTR name_or_atom, HINSTANCE instance);

BOOL DestroyWindowInternal(HWND hwnd);
BOOL ShowWindowInternal(HWND hwnd, int command);
BOOL SetWindowPosInternal(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
HWND SetFocusInternal(HWND hwnd);
// Makes a top-level window the active one, deactivating the one before.
void ActivateWindow(HWND hwnd);
// Called when a window is hidden or destroyed: it stops being active, and the focus leaves it.
void DeactivateSubtree(HWND hwnd);

// Marks a window destroyed once its WM_NCDESTROY has been handled.
void FinishDestroyLocked(Desktop& desktop, WindowRecord& window);

// A window of the calling thread that passes `filter` (null for any) and waits for WM_PAINT, or
// null.
HWND WindowToPaintLocked(Desktop& desktop, HWND filter);

// Forgets every window without sending anything; empties every queue.
void ResetWindowsLocked(Desktop& desktop);

}  // namespace halvex::platform::win32

#endif  // HALVEX_STANDIN_WIN32_WINDOWS_H_
