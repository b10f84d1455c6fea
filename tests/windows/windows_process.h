// Running the probes as processes of their own, and the per-user registry values they read at
// start-up, for the tests that run on Windows itself.
#ifndef HALVEX_TESTS_WINDOWS_WINDOWS_PROCESS_H_
#define HALVEX_TESTS_WINDOWS_WINDOWS_PROCESS_H_

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace halvex::testing {

// The folder of the running test program, with a trailing backslash.
std::wstring ExecutableFolder();

// Starts `application` with the complete command line `commandLine` (program name included) and
// waits for it, at most `timeoutMilliseconds`. Returns the exit code, or nullopt when the process
// could not be started or did not end in time (it is then terminated).
std::optional<DWORD> RunProcess(const std::wstring& application,
                                const std::wstring& commandLine,
                                DWORD timeoutMilliseconds);

// A probe's report: "key rest-of-line" lines, each key with the lines given for it, in order.
using Report = std::map<std::string, std::vector<std::string>>;
Report ReadReport(const std::wstring& path);

// Sets (or, with nullopt, removes) an environment variable for as long as it lives; children
// started meanwhile inherit it.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::wstring name, const std::optional<std::wstring>& value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::wstring name_;
  std::optional<std::wstring> previous_;
};

// Gives a value under HKEY_CURRENT_USER the type and data asked for (or removes it, for
// nullopt data), and puts back what was there when it goes.
class ScopedUserRegistryValue {
 public:
  struct Data {
    DWORD type;
    std::vector<uint8_t> bytes;
  };
  static Data Dword(DWORD value);
  static Data Text(const std::wstring& value);

  ScopedUserRegistryValue(std::wstring key, std::wstring name, const std::optional<Data>& data);
  ~ScopedUserRegistryValue();
  ScopedUserRegistryValue(const ScopedUserRegistryValue&) = delete;
  ScopedUserRegistryValue& operator=(const ScopedUserRegistryValue&) = delete;

 private:
  std::wstring key_;
  std::wstring name_;
  std::optional<Data> previous_;
};

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_WINDOWS_PROCESS_H_
