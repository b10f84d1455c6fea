// GetCommandLineW and CommandLineToArgvW with Windows' quoting and backslash rules.
#include "win32_command_line.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_local_memory.h"
#include "win32_text.h"

namespace halvex::platform::win32 {
namespace {

bool IsBlank(wchar_t unit) {
  return unit == L' ' || unit == L'\t';
}

std::vector<std::string>& RecordedArguments() {
  static auto* arguments = new std::vector<std::string>();
  return *arguments;
}

std::vector<std::string> SystemArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::string> arguments;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\0', start);
    arguments.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return arguments;
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t unit : argument) {
    if (unit == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quotation mark are doubled, and the mark escaped.
    if (unit == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(backslashes * 2, L'\\');  // They now stand before the closing mark.
  quoted += L'"';
  return quoted;
}

// The program name ends at the first blank, or at the closing quotation mark when it starts with
// one; no backslash escapes apply to it.
size_t ProgramNameEnd(const wchar_t* text, std::wstring* name) {
  size_t at = 0;
  if (text[0] == L'"') {
    ++at;
    while (text[at] != L'\0' && text[at] != L'"') {
      if (name != nullptr) {
        *name += text[at];
      }
      ++at;
    }
    return text[at] == L'"' ? at + 1 : at;
  }
  while (text[at] != L'\0' && !IsBlank(text[at])) {
    if (name != nullptr) {
      *name += text[at];
    }
    ++at;
  }
  return at;
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* text) {
  std::vector<std::wstring> arguments(1);
  const wchar_t* at = text + ProgramNameEnd(text, &arguments[0]);
  for (;;) {
    while (IsBlank(*at)) {
      ++at;
    }
    if (*at == L'\0') {
      return arguments;
    }
    std::wstring argument;
    bool quoted = false;
    while (*at != L'\0' && (quoted || !IsBlank(*at))) {
      if (*at == L'\\') {
        size_t backslashes = 0;
        while (at[backslashes] == L'\\') {
          ++backslashes;
        }
        at += backslashes;
        if (*at == L'"') {
          // 2n backslashes: n, and the mark quotes; 2n + 1: n, and a literal mark.
          argument.append(backslashes / 2, L'\\');
          if (backslashes % 2 == 1) {
            argument += L'"';
            ++at;
          }
        } else {
          argument.append(backslashes, L'\\');
        }
      } else if (*at == L'"') {
        // Inside quotes, "" is a literal mark that also ends the quoted part.
        if (quoted && at[1] == L'"') {
          argument += L'"';
          at += 2;
          quoted = false;
        } else {
          quoted = !quoted;
          ++at;
        }
      } else {
        argument += *at++;
      }
    }
    arguments.push_back(std::move(argument));
  }
}

}  // namespace

void RecordProcessArguments(int argc, char** argv) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  RecordedArguments().assign(argv, argv + argc);
  ResetCommandLineLocked(desktop);
}

std::wstring BuildCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) {
    return std::wstring();
  }
  std::wstring program = Utf8ToUtf16(arguments[0]);
  program.erase(std::remove(program.begin(), program.end(), L'"'), program.end());
  std::wstring command_line = program.empty() || program.find_first_of(L" \t") != std::wstring::npos
                                  ? L"\"" + program + L"\""
                                  : program;
  for (size_t i = 1; i < arguments.size(); ++i) {
    command_line += L' ';
    command_line += QuoteArgument(Utf8ToUtf16(arguments[i]));
  }
  return command_line;
}

size_t CommandLineTailOffset(const std::wstring& command_line) {
  size_t at = ProgramNameEnd(command_line.c_str(), nullptr);
  while (at < command_line.size() && IsBlank(command_line[at])) {
    ++at;
  }
  return at;
}

void ResetCommandLineLocked(Desktop& desktop) {
  const std::vector<std::string>& recorded = RecordedArguments();
  desktop.command_line = BuildCommandLine(recorded.empty() ? SystemArguments() : recorded);
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::TheDesktop;

extern "C" {

// The text lives in the model: it changes only when a test sets another command line.
LPWSTR WINAPI GetCommandLineW() {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return &desktop.command_line[0];
}

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  namespace win32 = halvex::platform::win32;
  if (win32::InjectedFault("CommandLineToArgvW")) {
    return nullptr;
  }
  if (pNumArgs == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::wstring> arguments;
  if (lpCmdLine == nullptr || lpCmdLine[0] == L'\0') {
    // An empty command line stands for the executable alone.
    arguments.push_back(win32::Utf8ToUtf16(win32::ExecutablePath()));
  } else {
    arguments = win32::SplitCommandLine(lpCmdLine);
  }
  size_t units = 0;
  for (const std::wstring& argument : arguments) {
    units += argument.size() + 1;
  }
  const size_t pointers_size = (arguments.size() + 1) * sizeof(LPWSTR);
  auto* block = static_cast<BYTE*>(
      win32::LocalAllocInternal(LMEM_ZEROINIT, pointers_size + units * sizeof(wchar_t)));
  if (block == nullptr) {
    return nullptr;
  }
  auto* argv = reinterpret_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + pointers_size);
  for (size_t i = 0; i < arguments.size(); ++i) {
    argv[i] = text;
    std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(wchar_t));
    text += arguments[i].size() + 1;
  }
  argv[arguments.size()] = nullptr;
  *pNumArgs = static_cast<int>(arguments.size());
  return argv;
}

}  // extern "C"

namespace halvex::testing {

void SetCommandLine(const std::wstring& command_line) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.command_line = command_line;
}

void SetCommandLineArguments(const std::vector<std::string>& arguments) {
  const std::wstring command_line = platform::win32::BuildCommandLine(arguments);
  SetCommandLine(command_line);
}

}  // namespace halvex::testing
