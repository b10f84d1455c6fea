// Stand-in for the Windows SDK's basic type definitions (64-bit Windows data model).
#ifndef HALVEX_STANDIN_MINWINDEF_H_
#define HALVEX_STANDIN_MINWINDEF_H_

#include <cstddef>
#include <cstdint>

// Windows is LLP64: LONG and ULONG stay 32-bit, pointers and *_PTR types are 64-bit.
typedef std::uint8_t BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::int32_t INT;
typedef std::uint32_t UINT;
typedef std::uint8_t UINT8;
typedef std::uint16_t UINT16;
typedef std::int16_t INT16;
typedef std::uint32_t UINT32;
typedef std::int32_t INT32;
typedef std::uint64_t UINT64;
typedef std::int64_t INT64;
typedef std::int64_t LONGLONG;
typedef std::uint64_t ULONGLONG;
typedef std::uint64_t QWORD;
typedef int BOOL;
typedef char CHAR;
typedef wchar_t WCHAR;
typedef float FLOAT;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* PWSTR;
typedef const wchar_t* PCWSTR;

typedef std::intptr_t INT_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef ULONG_PTR DWORD_PTR;
typedef ULONG_PTR SIZE_T;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;

typedef void* HANDLE;
#define HALVEX_DECLARE_HANDLE(name) \
  struct name##__ {                 \
    int unused;                     \
  };                                \
  typedef struct name##__* name
HALVEX_DECLARE_HANDLE(HWND);
HALVEX_DECLARE_HANDLE(HINSTANCE);
HALVEX_DECLARE_HANDLE(HICON);
HALVEX_DECLARE_HANDLE(HMONITOR);
HALVEX_DECLARE_HANDLE(HKEY);
HALVEX_DECLARE_HANDLE(HBRUSH);
HALVEX_DECLARE_HANDLE(HMENU);
HALVEX_DECLARE_HANDLE(HDC);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef HANDLE HLOCAL;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI
#define CALLBACK
#define APIENTRY

#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))

// 64-bit values passed in two halves by older interfaces (file sizes, the performance counter).
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;

static_assert(sizeof(LONG) == 4, "LONG is 32 bits on Windows");
static_assert(sizeof(WPARAM) == 8 && sizeof(LPARAM) == 8, "64-bit message parameters");

#endif  // HALVEX_STANDIN_MINWINDEF_H_
