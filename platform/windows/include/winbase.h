// Stand-in for the Windows SDK's kernel-side declarations that the product uses: errors, threads,
// local memory, the command line, modules and the console.
#ifndef HALVEX_STANDIN_WINBASE_H_
#define HALVEX_STANDIN_WINBASE_H_

#include "minwindef.h"

#define INFINITE 0xFFFFFFFFu
#define MAX_PATH 260

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

#define ATTACH_PARENT_PROCESS (static_cast<DWORD>(-1))

typedef INT_PTR(WINAPI* FARPROC)();

extern "C" {

DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD dwErrCode);

void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetCurrentThreadId();

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// The calling thread's pseudo handle, valid only on that thread; closing it does nothing.
HANDLE WINAPI GetCurrentThread();
// Only the calling thread's pseudo handle is accepted (ERROR_INVALID_HANDLE otherwise). Priorities
// below normal give the thread a much smaller share of a busy processor, so that it yields to
// normal ones. Threads it starts afterwards inherit that share, as threads do here; on Windows a
// new thread starts at normal priority. Priorities above normal are accepted and leave the thread
// at normal.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
int WINAPI GetThreadPriority(HANDLE hThread);

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Null on success; the block itself, with ERROR_INVALID_HANDLE, for memory it did not allocate.
HLOCAL WINAPI LocalFree(HLOCAL hMem);

// The process's command line as Windows builds it: the program path, quoted when it holds a space
// or tab, and every argument quoted so that CommandLineToArgvW gives it back.
LPWSTR WINAPI GetCommandLineW();

// Modules. A name without a directory is looked for beside the executable first, then by the
// system's library search. Names of the system's own libraries ("user32.dll", "kernel32.dll",
// "shcore.dll", "dwmapi.dll", "shell32.dll") load the stand-in itself. For any other name the
// candidates are, in order: the name with backslashes turned into slashes; for a name ending in
// ".dll", the same with "lib<stem>.so" and "<stem>.so" in its place; for a name without any
// extension, the name with ".dll" added and those two forms.
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// The file's path as the system has it (slashes as separators here). A buffer that is too small
// gets the truncated, terminated path, the result nSize and ERROR_INSUFFICIENT_BUFFER.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Removes a file; backslashes separate folders as on Windows. Fails with ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND or ERROR_ACCESS_DENIED (which a folder at the path also gives).
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);

BOOL WINAPI AttachConsole(DWORD dwProcessId);
BOOL WINAPI AllocConsole();

// Console control events. The system calls the registered handlers on a new thread of its own,
// the most recently added first, until one returns TRUE; when none does, the process ends. For
// the console closing, the user logging off and the system shutting down, the process also ends
// once a handler returns. Here SIGINT arrives as Ctrl-C, SIGHUP as the console closing and
// SIGTERM as the system shutting down, once a handler has been added.
#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6
typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD CtrlType);
// Adds or removes a handler; a null handler with Add TRUE makes the process ignore Ctrl-C.
BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);
// Raises CTRL_C_EVENT or CTRL_BREAK_EVENT; here in this process only (group 0).
BOOL WINAPI GenerateConsoleCtrlEvent(DWORD dwCtrlEvent, DWORD dwProcessGroupId);
BOOL WINAPI IsDebuggerPresent();

// The entry point of a GUI program, which the start-up code calls.
int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, PWSTR lpCmdLine, int nShowCmd);

}  // extern "C"

#endif  // HALVEX_STANDIN_WINBASE_H_
