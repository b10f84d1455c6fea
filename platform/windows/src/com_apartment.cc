#include "com_apartment.h"

#include <combaseapi.h>

#include <map>
#include <mutex>
#include <thread>

#include "com_object_registry.h"
#include "com_task_memory.h"
#include "fault_injection.h"
#include "windows_testing/com.h"

namespace halvex::platform {
namespace {

using testing::Apartment;

struct ThreadApartment {
  Apartment model = Apartment::kNone;
  int init_count = 0;
};

// Kept by thread id rather than thread_local so that a test can reset every thread's state.
struct ApartmentTable {
  std::mutex mutex;
  std::map<std::thread::id, ThreadApartment> threads;
  int unbalanced_uninitialize_calls = 0;
};

ApartmentTable& Table() {
  static ApartmentTable* table = new ApartmentTable();  // Never destroyed: used at exit.
  return *table;
}

}  // namespace

bool IsComInitializedOnCurrentThread() {
  ApartmentTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto it = table.threads.find(std::this_thread::get_id());
  return it != table.threads.end() && it->second.init_count > 0;
}

}  // namespace halvex::platform

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  using halvex::testing::Apartment;
  HALVEX_RETURN_IF_FAULT("CoInitializeEx");
  constexpr DWORD kKnownFlags =
      COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
  if (pvReserved != nullptr || (dwCoInit & ~kKnownFlags) != 0) {
    return E_INVALIDARG;
  }
  const Apartment requested = (dwCoInit & COINIT_APARTMENTTHREADED) != 0
                                  ? Apartment::kSingleThreaded
                                  : Apartment::kMultithreaded;
  auto& table = halvex::platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto& thread = table.threads[std::this_thread::get_id()];
  if (thread.init_count == 0) {
    thread.model = requested;
    thread.init_count = 1;
    return S_OK;
  }
  if (thread.model != requested) {
    return RPC_E_CHANGED_MODE;
  }
  ++thread.init_count;
  return S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize() {
  using halvex::testing::Apartment;
  auto& table = halvex::platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto it = table.threads.find(std::this_thread::get_id());
  if (it == table.threads.end() || it->second.init_count == 0) {
    ++table.unbalanced_uninitialize_calls;
    return;
  }
  if (--it->second.init_count == 0) {
    table.threads.erase(it);
  }
}

namespace halvex::testing {

Apartment CurrentApartment() {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto it = table.threads.find(std::this_thread::get_id());
  return it == table.threads.end() ? Apartment::kNone : it->second.model;
}

int CurrentApartmentInitCount() {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto it = table.threads.find(std::this_thread::get_id());
  return it == table.threads.end() ? 0 : it->second.init_count;
}

int UnbalancedUninitializeCalls() {
  auto& table = platform::Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  return table.unbalanced_uninitialize_calls;
}

void ResetComModel() {
  {
    auto& table = platform::Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.threads.clear();
    table.unbalanced_uninitialize_calls = 0;
  }
  platform::ResetTaskMemoryFaults();
  platform::FreeTombstones();
}

}  // namespace halvex::testing
