// Loading and running the application library.
#include "application_runner.h"

#include <cstdio>
#include <utility>

namespace halvex::engine {
namespace {

bool IsAbsolute(const std::wstring& path) {
  if (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) {
    return true;
  }
  return path.size() >= 2 && path[1] == L':';
}

std::string ToUtf8ForMessage(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  if (size <= 0) {
    return std::string();
  }
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size,
                      nullptr, nullptr);
  return utf8;
}

void ReportOneLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

}  // namespace

std::wstring ResolveBesideExecutable(const std::wstring& path) {
  if (IsAbsolute(path)) {
    return path;
  }
  std::wstring executable(MAX_PATH, L'\0');
  for (;;) {
    DWORD length =
        GetModuleFileNameW(nullptr, &executable[0], static_cast<DWORD>(executable.size()));
    if (length == 0) {
      return path;
    }
    if (length < executable.size()) {
      executable.resize(length);
      break;
    }
    executable.resize(executable.size() * 2);
  }
  size_t separator = executable.find_last_of(L"\\/");
  if (separator == std::wstring::npos) {
    return path;
  }
  return executable.substr(0, separator + 1) + path;
}

ApplicationRunner::ApplicationRunner(std::wstring library_path,
                                     std::vector<std::string> arguments,
                                     HalvexEngineServices services,
                                     std::function<void(int status)> on_finished)
    : library_path_(std::move(library_path)),
      arguments_(std::move(arguments)),
      services_(services),
      on_finished_(std::move(on_finished)) {
  thread_ = std::thread(&ApplicationRunner::Run, this);
}

ApplicationRunner::~ApplicationRunner() {
  if (thread_.joinable()) {
    thread_.join();
  }
  if (library_ != nullptr) {
    FreeLibrary(library_);
  }
}

void ApplicationRunner::Run() {
  const std::wstring resolved = ResolveBesideExecutable(library_path_);
  library_ = LoadLibraryW(resolved.c_str());
  if (library_ == nullptr) {
    ReportOneLine("Cannot load the application library \"" + ToUtf8ForMessage(resolved) + "\".");
    on_finished_(kNotStartedStatus);
    return;
  }
  auto application_main = reinterpret_cast<HalvexApplicationMainFunction>(
      reinterpret_cast<void*>(GetProcAddress(library_, HALVEX_APPLICATION_MAIN_SYMBOL)));
  if (application_main == nullptr) {
    ReportOneLine("The application library \"" + ToUtf8ForMessage(resolved) +
                  "\" does not export " HALVEX_APPLICATION_MAIN_SYMBOL ".");
    on_finished_(kNotStartedStatus);
    return;
  }

  std::vector<const char*> argv;
  argv.reserve(arguments_.size() + 1);
  for (const std::string& argument : arguments_) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  const int status = application_main(&services_, static_cast<int>(arguments_.size()), argv.data());
  if (status != 0) {
    ReportOneLine("The application ended with status " + std::to_string(status) + ".");
  }
  on_finished_(status);
}

}  // namespace halvex::engine
