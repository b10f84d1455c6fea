#include "tests/windows/windows_process.h"

#include <fstream>
#include <utility>

namespace halvex::testing {
namespace {

std::optional<ScopedUserRegistryValue::Data> ReadUserValue(const std::wstring& key,
                                                           const std::wstring& name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, &type, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  ScopedUserRegistryValue::Data data{type, std::vector<uint8_t>(size)};
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, &type,
                   data.bytes.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.bytes.resize(size);
  return data;
}

void WriteUserValue(const std::wstring& key,
                    const std::wstring& name,
                    const std::optional<ScopedUserRegistryValue::Data>& data) {
  if (!data) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str());
    return;
  }
  RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), data->type, data->bytes.data(),
                  static_cast<DWORD>(data->bytes.size()));
}

}  // namespace

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::optional<DWORD> RunProcess(const std::wstring& application,
                                const std::wstring& commandLine,
                                DWORD timeoutMilliseconds) {
  std::wstring mutableCommandLine = commandLine;
  const std::wstring folder = application.substr(0, application.find_last_of(L'\\') + 1);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), &mutableCommandLine[0], nullptr, nullptr, FALSE, 0,
                      nullptr, folder.c_str(), &startup, &process)) {
    return std::nullopt;
  }
  CloseHandle(process.hThread);
  std::optional<DWORD> exitCode;
  if (WaitForSingleObject(process.hProcess, timeoutMilliseconds) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    exitCode = code;
  } else {
    TerminateProcess(process.hProcess, 255);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  CloseHandle(process.hProcess);
  return exitCode;
}

Report ReadReport(const std::wstring& path) {
  Report report;
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    report[line.substr(0, space)].push_back(space == std::string::npos ? ""
                                                                       : line.substr(space + 1));
  }
  return report;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::wstring name,
                                                     const std::optional<std::wstring>& value)
    : name_(std::move(name)) {
  const DWORD size = GetEnvironmentVariableW(name_.c_str(), nullptr, 0);
  if (size > 0) {
    std::wstring previous(size, L'\0');
    previous.resize(GetEnvironmentVariableW(name_.c_str(), &previous[0], size));
    previous_ = previous;
  }
  SetEnvironmentVariableW(name_.c_str(), value ? value->c_str() : nullptr);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  SetEnvironmentVariableW(name_.c_str(), previous_ ? previous_->c_str() : nullptr);
}

ScopedUserRegistryValue::Data ScopedUserRegistryValue::Dword(DWORD value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  return {REG_DWORD, std::vector<uint8_t>(bytes, bytes + sizeof(value))};
}

ScopedUserRegistryValue::Data ScopedUserRegistryValue::Text(const std::wstring& value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(value.c_str());
  return {REG_SZ, std::vector<uint8_t>(bytes, bytes + (value.size() + 1) * sizeof(wchar_t))};
}

ScopedUserRegistryValue::ScopedUserRegistryValue(std::wstring key,
                                                 std::wstring name,
                                                 const std::optional<Data>& data)
    : key_(std::move(key)), name_(std::move(name)), previous_(ReadUserValue(key_, name_)) {
  WriteUserValue(key_, name_, data);
}

ScopedUserRegistryValue::~ScopedUserRegistryValue() {
  WriteUserValue(key_, name_, previous_);
}

}  // namespace halvex::testing
