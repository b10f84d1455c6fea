// Modules: the executable, the system's own modules (which are this stand-in) and libraries
// loaded from files with dlopen.
#include "win32_modules.h"

#include <dlfcn.h>
#include <link.h>
#include <dwmapi.h>
#include <shellapi.h>
#include <shellscalingapi.h>

#include <cstring>
#include <cwchar>

#include "win32_text.h"

namespace halvex::platform::win32 {
namespace {

struct Export {
  const char* name;
  FARPROC function;
};

struct SystemModule {
  const wchar_t* name;  // Folded.
  HMODULE handle;
  std::vector<Export> exports;
};

// Through void (*)(), the one function type every function pointer may be converted to and from.
template <typename Function>
FARPROC AsFarProc(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

HMODULE FixedModule(std::uintptr_t value) {
  return reinterpret_cast<HMODULE>(value);
}

const std::vector<SystemModule>& SystemModules() {
  static const std::vector<SystemModule>* modules = new std::vector<SystemModule>{
      {L"user32.dll",
       FixedModule(0x7FFB00000000),
       {{"EnableNonClientDpiScaling", AsFarProc(&EnableNonClientDpiScaling)},
        {"CreateWindowExW", AsFarProc(&CreateWindowExW)},
        {"DefWindowProcW", AsFarProc(&DefWindowProcW)},
        {"DestroyWindow", AsFarProc(&DestroyWindow)},
        {"GetDpiForWindow", AsFarProc(&GetDpiForWindow)},
        {"MonitorFromPoint", AsFarProc(&MonitorFromPoint)},
        {"MonitorFromWindow", AsFarProc(&MonitorFromWindow)},
        {"PostMessageW", AsFarProc(&PostMessageW)},
        {"SendMessageW", AsFarProc(&SendMessageW)}}},
      {L"kernel32.dll",
       FixedModule(0x7FFB00100000),
       {{"GetLastError", AsFarProc(&GetLastError)},
        {"SetLastError", AsFarProc(&SetLastError)},
        {"Sleep", AsFarProc(&Sleep)},
        {"GetCurrentThreadId", AsFarProc(&GetCurrentThreadId)},
        {"GetModuleHandleW", AsFarProc(&GetModuleHandleW)},
        {"LoadLibraryW", AsFarProc(&LoadLibraryW)},
        {"GetProcAddress", AsFarProc(&GetProcAddress)},
        {"FreeLibrary", AsFarProc(&FreeLibrary)},
        {"MultiByteToWideChar", AsFarProc(&MultiByteToWideChar)},
        {"WideCharToMultiByte", AsFarProc(&WideCharToMultiByte)}}},
      {L"shcore.dll",
       FixedModule(0x7FFB00200000),
       {{"GetDpiForMonitor", AsFarProc(&GetDpiForMonitor)}}},
      {L"dwmapi.dll",
       FixedModule(0x7FFB00300000),
       {{"DwmSetWindowAttribute", AsFarProc(&DwmSetWindowAttribute)}}},
      {L"shell32.dll",
       FixedModule(0x7FFB00400000),
       {{"CommandLineToArgvW", AsFarProc(&CommandLineToArgvW)}}},
  };
  return *modules;
}

const SystemModule* SystemModuleByHandle(HMODULE handle) {
  for (const SystemModule& module : SystemModules()) {
    if (module.handle == handle) {
      return &module;
    }
  }
  return nullptr;
}

std::wstring BaseName(const std::wstring& name) {
  const size_t separator = name.find_last_of(L"\\/");
  return separator == std::wstring::npos ? name : name.substr(separator + 1);
}

// The module's folded file name with ".dll" added when it has no extension, as Windows names it.
std::wstring ModuleKey(const std::wstring& name) {
  std::wstring base = FoldCase(BaseName(name));
  if (base.find(L'.') == std::wstring::npos) {
    base += L".dll";
  }
  return base;
}

const SystemModule* SystemModuleByName(const std::wstring& name) {
  // A system module is named by its file name alone.
  if (name.find_first_of(L"\\/") != std::wstring::npos) {
    return nullptr;
  }
  const std::wstring key = ModuleKey(name);
  for (const SystemModule& module : SystemModules()) {
    if (key == module.name) {
      return &module;
    }
  }
  return nullptr;
}

std::string DirectoryOf(const std::string& path) {
  const size_t separator = path.find_last_of('/');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string LoadedPath(void* library, const std::string& fallback) {
  link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
      map->l_name[0] != '\0') {
    return map->l_name;
  }
  return fallback;
}

// The stand-in's own file: the system modules live in it.
std::string StandInPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&GetModuleFileNameW), &info) != 0 &&
      info.dli_fname != nullptr) {
    return info.dli_fname;
  }
  return ExecutablePath();
}

HMODULE LoadLibraryInternal(const std::wstring& name) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (const SystemModule* system = SystemModuleByName(name)) {
    desktop.library_loads.push_back({name, StandInPath(), true});
    return system->handle;
  }
  const std::string utf8 = Utf16ToUtf8(name);
  const bool has_directory = utf8.find_first_of("\\/") != std::string::npos;
  const std::string beside_executable = DirectoryOf(ExecutablePath());
  for (const std::string& candidate : LibraryCandidates(utf8)) {
    std::vector<std::string> attempts;
    if (!has_directory && !beside_executable.empty()) {
      attempts.push_back(beside_executable + "/" + candidate);
    }
    attempts.push_back(candidate);
    for (const std::string& attempt : attempts) {
      void* library = dlopen(attempt.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (library == nullptr) {
        continue;
      }
      const std::string path = LoadedPath(library, attempt);
      desktop.library_loads.push_back({name, path, true});
      for (auto& [handle, module] : desktop.modules) {
        if (module.library == library) {
          dlclose(library);  // The module keeps its own reference.
          ++module.references;
          return handle;
        }
      }
      const HMODULE handle = NewHandle<HMODULE>(desktop);
      desktop.modules[handle] = ModuleRecord{name, path, library, false, 1};
      return handle;
    }
  }
  desktop.library_loads.push_back({name, std::string(), false});
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

HMODULE ExecutableModule() {
  return FixedModule(0x400000);
}

bool IsKnownModuleLocked(Desktop& desktop, HMODULE module) {
  return module == ExecutableModule() || SystemModuleByHandle(module) != nullptr ||
         desktop.modules.count(module) != 0;
}

std::vector<std::string> LibraryCandidates(const std::string& name) {
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') {
      c = '/';
    }
  }
  const size_t separator = path.find_last_of('/');
  const std::string directory = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  const std::string base = path.substr(directory.size());
  const size_t dot = base.find_last_of('.');
  std::string extension = dot == std::string::npos ? "" : base.substr(dot);
  for (char& c : extension) {
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  std::vector<std::string> candidates;
  if (extension == ".dll") {
    const std::string stem = base.substr(0, dot);
    candidates = {base, "lib" + stem + ".so", stem + ".so"};
  } else if (dot == std::string::npos) {
    candidates = {base + ".dll", "lib" + base + ".so", base + ".so"};
  } else {
    candidates = {base};
  }
  for (std::string& candidate : candidates) {
    candidate = directory + candidate;
  }
  return candidates;
}

void ResetModulesLocked(Desktop& desktop) {
  // Loaded libraries stay loaded, as the files they are: code from them may still be running.
  desktop.library_loads.clear();
  desktop.missing_system_functions.clear();
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::TheDesktop;

extern "C" {

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  namespace win32 = halvex::platform::win32;
  if (InjectedFault("GetModuleHandleW")) {
    return nullptr;
  }
  if (lpModuleName == nullptr) {
    return win32::ExecutableModule();
  }
  const std::wstring name = lpModuleName;
  if (const win32::SystemModule* system = win32::SystemModuleByName(name)) {
    return system->handle;
  }
  const std::wstring key = win32::ModuleKey(name);
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (key == win32::ModuleKey(win32::Utf8ToUtf16(win32::ExecutablePath()))) {
    return win32::ExecutableModule();
  }
  for (const auto& [handle, module] : desktop.modules) {
    if (win32::ModuleKey(module.name) == key) {
      return handle;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (InjectedFault("LoadLibraryW")) {
    return nullptr;
  }
  if (lpLibFileName == nullptr || lpLibFileName[0] == L'\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return halvex::platform::win32::LoadLibraryInternal(lpLibFileName);
}

// The narrow name is taken as UTF-8, the code page of this system.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (InjectedFault("LoadLibraryA")) {
    return nullptr;
  }
  if (lpLibFileName == nullptr || lpLibFileName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return halvex::platform::win32::LoadLibraryInternal(
      halvex::platform::win32::Utf8ToUtf16(lpLibFileName));
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  namespace win32 = halvex::platform::win32;
  if (InjectedFault("GetProcAddress")) {
    return nullptr;
  }
  if (lpProcName == nullptr || IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);  // Shared objects have no ordinals.
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  void* symbol = nullptr;
  if (const win32::SystemModule* system = win32::SystemModuleByHandle(hModule)) {
    if (desktop.missing_system_functions.count(lpProcName) == 0) {
      for (const win32::Export& entry : system->exports) {
        if (std::strcmp(entry.name, lpProcName) == 0) {
          return entry.function;
        }
      }
    }
  } else if (hModule == win32::ExecutableModule()) {
    void* executable = dlopen(nullptr, RTLD_NOW);
    symbol = executable == nullptr ? nullptr : dlsym(executable, lpProcName);
  } else {
    auto module = desktop.modules.find(hModule);
    if (module == desktop.modules.end()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    symbol = dlsym(module->second.library, lpProcName);
  }
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  namespace win32 = halvex::platform::win32;
  if (InjectedFault("FreeLibrary")) {
    return FALSE;
  }
  if (hLibModule == win32::ExecutableModule() || win32::SystemModuleByHandle(hLibModule)) {
    return TRUE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto module = desktop.modules.find(hLibModule);
  if (module == desktop.modules.end()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (--module->second.references == 0) {
    dlclose(module->second.library);
    desktop.modules.erase(module);
  }
  return TRUE;
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  namespace win32 = halvex::platform::win32;
  if (InjectedFault("GetModuleFileNameW")) {
    return 0;
  }
  std::string path;
  if (hModule == nullptr || hModule == win32::ExecutableModule()) {
    path = win32::ExecutablePath();
  } else if (win32::SystemModuleByHandle(hModule) != nullptr) {
    path = win32::StandInPath();
  } else {
    Desktop& desktop = TheDesktop();
    std::lock_guard<std::mutex> lock(desktop.mutex);
    auto module = desktop.modules.find(hModule);
    if (module == desktop.modules.end()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = module->second.path;
  }
  const std::wstring wide = win32::Utf8ToUtf16(path);
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (wide.size() < nSize) {
    std::wmemcpy(lpFilename, wide.c_str(), wide.size() + 1);
    return static_cast<DWORD>(wide.size());
  }
  std::wmemcpy(lpFilename, wide.c_str(), nSize - 1);
  lpFilename[nSize - 1] = L'\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

}  // extern "C"

namespace halvex::testing {

std::vector<LibraryLoad> LibraryLoads() {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return desktop.library_loads;
}

void SetSystemFunctionAvailable(const std::string& name, bool available) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (available) {
    desktop.missing_system_functions.erase(name);
  } else {
    desktop.missing_system_functions.insert(name);
  }
}

}  // namespace halvex::testing
