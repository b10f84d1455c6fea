// Stand-in for the Windows SDK's file functions that the product uses: opening a file, reading and
// writing at offsets, its size, flushing it to disk and closing its handle.
#ifndef HALVEX_STANDIN_FILEAPI_H_
#define HALVEX_STANDIN_FILEAPI_H_

#include "minwindef.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Only the offset of a synchronous call is modelled: a handle is never opened for overlapped I/O.
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

extern "C" {

// Backslashes separate folders, as on Windows. Sharing modes are accepted but not enforced.
// A folder cannot be opened (ERROR_ACCESS_DENIED); a missing file gives ERROR_FILE_NOT_FOUND, a
// missing folder on the way ERROR_PATH_NOT_FOUND, an existing file with CREATE_NEW
// ERROR_FILE_EXISTS. Returns INVALID_HANDLE_VALUE on failure.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName,
                          DWORD dwDesiredAccess,
                          DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                          DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes,
                          HANDLE hTemplateFile);

// With an OVERLAPPED, at its offset; otherwise at the handle's position, which then moves on.
// Reading at or past the end succeeds with fewer bytes (none at the end). A handle opened without
// the access asked for fails with ERROR_ACCESS_DENIED; a full disk gives ERROR_DISK_FULL.
BOOL WINAPI ReadFile(HANDLE hFile,
                     LPVOID lpBuffer,
                     DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile,
                      LPCVOID lpBuffer,
                      DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize);

// Makes everything written through the handle durable; needs GENERIC_WRITE.
BOOL WINAPI FlushFileBuffers(HANDLE hFile);

// Closes a handle from CreateFileW; anything else fails with ERROR_INVALID_HANDLE.
BOOL WINAPI CloseHandle(HANDLE hObject);

}  // extern "C"

#endif  // HALVEX_STANDIN_FILEAPI_H_
