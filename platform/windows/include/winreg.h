// Stand-in for the Windows SDK's registry reading. The model holds one registry for the current
// user; the other root keys are empty.
#ifndef HALVEX_STANDIN_WINREG_H_
#define HALVEX_STANDIN_WINREG_H_

#include "minwindef.h"

typedef LONG LSTATUS;

// The predefined keys are sign-extended 32-bit values, as on 64-bit Windows.
#define HALVEX_PREDEFINED_HKEY(value) \
  (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0xFFFFFFFF00000000ULL | (value))))
#define HKEY_CLASSES_ROOT HALVEX_PREDEFINED_HKEY(0x80000000ULL)
#define HKEY_CURRENT_USER HALVEX_PREDEFINED_HKEY(0x80000001ULL)
#define HKEY_LOCAL_MACHINE HALVEX_PREDEFINED_HKEY(0x80000002ULL)
#define HKEY_USERS HALVEX_PREDEFINED_HKEY(0x80000003ULL)

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_MULTI_SZ 7
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000FFFF
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

extern "C" {

// Sizes are in bytes; string data is counted in wchar_t units of sizeof(wchar_t) bytes each, so
// that a buffer of N wchar_t has the size N * sizeof(wchar_t) on every system.
LSTATUS WINAPI RegGetValueW(HKEY hkey,
                            LPCWSTR lpSubKey,
                            LPCWSTR lpValue,
                            DWORD dwFlags,
                            LPDWORD pdwType,
                            PVOID pvData,
                            LPDWORD pcbData);

}  // extern "C"

#endif  // HALVEX_STANDIN_WINREG_H_
