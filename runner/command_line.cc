#include "runner/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace halvex {
namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** memory) const { ::LocalFree(memory); }
};
using ArgumentArray = std::unique_ptr<wchar_t*[], LocalFreeDeleter>;

bool IsHighSurrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::vector<std::string> CommandLineArguments() {
  int argc = 0;
  ArgumentArray argv(::CommandLineToArgvW(::GetCommandLineW(), &argc));
  if (argv == nullptr) {
    return {};
  }
  std::vector<std::string> arguments;
  // Index 0 is the program path, which the application does not get.
  for (int index = 1; index < argc; ++index) {
    arguments.push_back(ToUtf8(argv[index]));
  }
  return arguments;
}

std::string ToUtf8(const wchar_t* utf16) {
  if (utf16 == nullptr) {
    return std::string();
  }
  std::size_t length = wcsnlen(utf16, kMaxConvertedLength);
  // A cut between the halves of a surrogate pair would leave an unpaired surrogate and fail the
  // whole conversion; the cut moves before the pair instead.
  if (length == kMaxConvertedLength && IsHighSurrogate(utf16[length - 1]) &&
      IsLowSurrogate(utf16[length])) {
    --length;
  }
  const int utf16_length = static_cast<int>(length);
  const int utf8_length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, utf16_length,
                                                nullptr, 0, nullptr, nullptr);
  if (utf8_length <= 0) {
    return std::string();
  }
  std::string utf8(static_cast<std::size_t>(utf8_length), '\0');
  const int converted = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16, utf16_length,
                                              utf8.data(), utf8_length, nullptr, nullptr);
  if (converted <= 0) {
    return std::string();
  }
  utf8.resize(static_cast<std::size_t>(converted));
  return utf8;
}

}  // namespace halvex
