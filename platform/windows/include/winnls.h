// Stand-in for the Windows SDK's text conversion between UTF-8 and UTF-16.
#ifndef HALVEX_STANDIN_WINNLS_H_
#define HALVEX_STANDIN_WINNLS_H_

#include "minwindef.h"

#define CP_ACP 0
#define CP_UTF8 65001

#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080

extern "C" {

// Only CP_UTF8 is supported; other code pages fail with ERROR_INVALID_PARAMETER.
int WINAPI MultiByteToWideChar(UINT CodePage,
                               DWORD dwFlags,
                               LPCSTR lpMultiByteStr,
                               int cbMultiByte,
                               LPWSTR lpWideCharStr,
                               int cchWideChar);

int WINAPI WideCharToMultiByte(UINT CodePage,
                               DWORD dwFlags,
                               LPCWSTR lpWideCharStr,
                               int cchWideChar,
                               LPSTR lpMultiByteStr,
                               int cbMultiByte,
                               LPCSTR lpDefaultChar,
                               BOOL* lpUsedDefaultChar);

}  // extern "C"

#endif  // HALVEX_STANDIN_WINNLS_H_
