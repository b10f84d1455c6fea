// Internal conversions between the system's UTF-8 texts (paths, arguments) and UTF-16.
#ifndef HALVEX_STANDIN_WIN32_TEXT_H_
#define HALVEX_STANDIN_WIN32_TEXT_H_

#include <string>

namespace halvex::platform::win32 {

// Invalid input is replaced with U+FFFD, as MultiByteToWideChar and WideCharToMultiByte do with
// no flags.
std::wstring Utf8ToUtf16(const std::string& utf8);
std::string Utf16ToUtf8(const std::wstring& utf16);

}  // namespace halvex::platform::win32

#endif  // HALVEX_STANDIN_WIN32_TEXT_H_
