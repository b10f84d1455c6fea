#include "fault_injection.h"

#include <map>
#include <mutex>
#include <string>

#include "windows_testing/faults.h"

namespace halvex::platform {
namespace {

struct ArmedFault {
  HRESULT result;
  int nth;  // 0: every call.
  int calls_at_arming;
};

struct FaultTable {
  std::mutex mutex;
  std::map<std::string, int, std::less<>> call_counts;
  std::map<std::string, ArmedFault, std::less<>> faults;
};

// The stand-in is a process-wide model of the operating system, so its test controls are too.
FaultTable& Table() {
  static FaultTable* table = new FaultTable();  // Never destroyed: used from exit-time code.
  return *table;
}

}  // namespace

std::optional<HRESULT> CheckFault(const char* call) {
  FaultTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto count_it = table.call_counts.find(call);
  if (count_it == table.call_counts.end()) {
    count_it = table.call_counts.emplace(call, 0).first;
  }
  const int count = ++count_it->second;
  auto fault_it = table.faults.find(call);
  if (fault_it == table.faults.end()) {
    return std::nullopt;
  }
  const ArmedFault& fault = fault_it->second;
  if (fault.nth == 0 || count - fault.calls_at_arming == fault.nth) {
    return fault.result;
  }
  return std::nullopt;
}

}  // namespace halvex::platform

namespace halvex::testing {

void FailCall(const std::string& call, HRESULT result, int nth) {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto count_it = table.call_counts.find(call);
  const int calls_so_far = count_it == table.call_counts.end() ? 0 : count_it->second;
  table.faults[call] = platform::ArmedFault{result, nth, calls_so_far};
}

int CallCount(const std::string& call) {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto it = table.call_counts.find(call);
  return it == table.call_counts.end() ? 0 : it->second;
}

std::map<std::string, int> CallCounts() {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  return std::map<std::string, int>(table.call_counts.begin(), table.call_counts.end());
}

void ResetFaults() {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.call_counts.clear();
  table.faults.clear();
}

}  // namespace halvex::testing
