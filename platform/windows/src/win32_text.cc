// UTF-8 <-> UTF-16 conversion with Windows' results: each maximal ill-formed subsequence of UTF-8
// becomes one U+FFFD, each unpaired surrogate becomes U+FFFD, or either fails the call when the
// caller asks for strictness.
#include "win32_text.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <limits>
#include <vector>

#include "win32_desktop.h"

namespace halvex::platform::win32 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes one code point at `in` (of `size` bytes). On well-formed input sets `valid` and returns
// the bytes used; otherwise returns the length of the maximal ill-formed prefix (at least 1).
size_t DecodeUtf8(const unsigned char* in, size_t size, char32_t& code_point, bool& valid) {
  valid = false;
  const unsigned char lead = in[0];
  if (lead < 0x80) {
    code_point = lead;
    valid = true;
    return 1;
  }
  size_t length = 0;
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    second_min = lead == 0xE0 ? 0xA0 : 0x80;  // Overlong below.
    second_max = lead == 0xED ? 0x9F : 0xBF;  // Surrogates above.
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    second_min = lead == 0xF0 ? 0x90 : 0x80;  // Overlong below.
    second_max = lead == 0xF4 ? 0x8F : 0xBF;  // Beyond U+10FFFF above.
  } else {
    return 1;  // 0x80-0xC1 and 0xF5-0xFF never start a character.
  }
  for (size_t i = 1; i < length; ++i) {
    if (i >= size) {
      return i;
    }
    const unsigned char byte = in[i];
    const bool fits = i == 1 ? byte >= second_min && byte <= second_max : IsContinuation(byte);
    if (!fits) {
      return i;
    }
    code_point = (code_point << 6) | (byte & 0x3F);
  }
  valid = true;
  return length;
}

void AppendUtf16(char32_t code_point, std::vector<wchar_t>& out) {
  if (code_point >= 0x10000) {
    const char32_t offset = code_point - 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(code_point));
  }
}

void AppendUtf8(char32_t code_point, std::vector<char>& out) {
  auto push = [&out](unsigned value) { out.push_back(static_cast<char>(value)); };
  if (code_point < 0x80) {
    push(code_point);
  } else if (code_point < 0x800) {
    push(0xC0 | (code_point >> 6));
    push(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    push(0xE0 | (code_point >> 12));
    push(0x80 | ((code_point >> 6) & 0x3F));
    push(0x80 | (code_point & 0x3F));
  } else {
    push(0xF0 | (code_point >> 18));
    push(0x80 | ((code_point >> 12) & 0x3F));
    push(0x80 | ((code_point >> 6) & 0x3F));
    push(0x80 | (code_point & 0x3F));
  }
}

// False when `strict` and the input is ill-formed.
bool ConvertUtf8(const char* in, size_t size, bool strict, std::vector<wchar_t>& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  size_t at = 0;
  while (at < size) {
    char32_t code_point = 0;
    bool valid = false;
    at += DecodeUtf8(bytes + at, size - at, code_point, valid);
    if (!valid) {
      if (strict) {
        return false;
      }
      code_point = kReplacement;
    }
    AppendUtf16(code_point, out);
  }
  return true;
}

// A unit above 0xFFFF can only come from a 32-bit wchar_t literal; it is taken as the code point
// it names, which is what the same source text yields where wchar_t is 16 bits.
bool ConvertUtf16(const wchar_t* in, size_t size, bool strict, std::vector<char>& out) {
  for (size_t at = 0; at < size; ++at) {
    const auto unit = static_cast<char32_t>(in[at]);
    char32_t code_point = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < size &&
        static_cast<char32_t>(in[at + 1]) >= 0xDC00 &&
        static_cast<char32_t>(in[at + 1]) <= 0xDFFF) {
      code_point = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(in[at + 1]) - 0xDC00);
      ++at;
    } else if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF) {
      if (strict) {
        return false;
      }
      code_point = kReplacement;
    }
    AppendUtf8(code_point, out);
  }
  return true;
}

// Hands a converted text to the caller: its length when the caller only asks for it, the copy
// otherwise.
template <typename Unit>
int Deliver(const std::vector<Unit>& converted, Unit* out, int out_size) {
  if (converted.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int length = static_cast<int>(converted.size());
  if (out_size == 0) {
    return length;
  }
  if (length > out_size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, converted.data(), converted.size() * sizeof(Unit));
  return length;
}

}  // namespace

std::wstring Utf8ToUtf16(const std::string& utf8) {
  std::vector<wchar_t> out;
  ConvertUtf8(utf8.data(), utf8.size(), false, out);
  return std::wstring(out.begin(), out.end());
}

std::string Utf16ToUtf8(const std::wstring& utf16) {
  std::vector<char> out;
  ConvertUtf16(utf16.data(), utf16.size(), false, out);
  return std::string(out.begin(), out.end());
}

}  // namespace halvex::platform::win32

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage,
                               DWORD dwFlags,
                               LPCSTR lpMultiByteStr,
                               int cbMultiByte,
                               LPWSTR lpWideCharStr,
                               int cchWideChar) {
  namespace win32 = halvex::platform::win32;
  if (win32::InjectedFault("MultiByteToWideChar")) {
    return 0;
  }
  if (CodePage != CP_UTF8 || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
      cchWideChar < 0 || (lpWideCharStr == nullptr && cchWideChar != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // -1: up to and including the terminating zero.
  const size_t size =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::vector<wchar_t> converted;
  if (!win32::ConvertUtf8(lpMultiByteStr, size, (dwFlags & MB_ERR_INVALID_CHARS) != 0, converted)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return win32::Deliver(converted, lpWideCharStr, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage,
                               DWORD dwFlags,
                               LPCWSTR lpWideCharStr,
                               int cchWideChar,
                               LPSTR lpMultiByteStr,
                               int cbMultiByte,
                               LPCSTR lpDefaultChar,
                               BOOL* lpUsedDefaultChar) {
  namespace win32 = halvex::platform::win32;
  if (win32::InjectedFault("WideCharToMultiByte")) {
    return 0;
  }
  // UTF-8 can encode everything, so a default character makes no sense for it.
  if (CodePage != CP_UTF8 || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (lpMultiByteStr == nullptr && cbMultiByte != 0) ||
      lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const size_t size =
      cchWideChar == -1 ? std::wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::vector<char> converted;
  if (!win32::ConvertUtf16(lpWideCharStr, size, (dwFlags & WC_ERR_INVALID_CHARS) != 0, converted)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return win32::Deliver(converted, lpMultiByteStr, cbMultiByte);
}

}  // extern "C"
