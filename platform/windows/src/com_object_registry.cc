#include "com_object_registry.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "com_tombstone.h"
#include "windows_testing/com.h"

namespace halvex::platform {
namespace {

// Enough to catch a stale pointer used long after its release, small enough to stay cheap.
constexpr std::size_t kMaxTombstones = 1 << 16;

struct ObjectRegistry {
  std::mutex mutex;
  std::map<std::string, int, std::less<>> live;
  std::deque<void*> tombstones;
  int over_releases = 0;
  int calls_on_released = 0;
};

ObjectRegistry& Registry() {
  static ObjectRegistry* registry = new ObjectRegistry();  // Never destroyed: used at exit.
  return *registry;
}

}  // namespace

void CountObjectCreated(const char* interface_name) {
  ObjectRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto it = registry.live.find(interface_name);
  if (it == registry.live.end()) {
    it = registry.live.emplace(interface_name, 0).first;
  }
  ++it->second;
}

void CountObjectDestroyed(const char* interface_name) {
  ObjectRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  --registry.live.find(interface_name)->second;
}

void KeepTombstoneStorage(void* storage) {
  ObjectRegistry& registry = Registry();
  void* evicted = nullptr;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.tombstones.push_back(storage);
    if (registry.tombstones.size() > kMaxTombstones) {
      evicted = registry.tombstones.front();
      registry.tombstones.pop_front();
    }
  }
  ::operator delete(evicted);
}

void CountOverRelease() {
  ObjectRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  ++registry.over_releases;
}

void CountCallOnReleasedObject() {
  ObjectRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  ++registry.calls_on_released;
}

void TrapCallOnReleasedObject() {
  std::fputs("COM method called on an object already released to zero\n", stderr);
  std::fflush(stderr);
  std::abort();
}

HRESULT STDMETHODCALLTYPE Tombstone::QueryInterface(REFIID, void** ppvObject) {
  CountCallOnReleasedObject();
  if (ppvObject != nullptr) {
    *ppvObject = nullptr;
  }
  return E_UNEXPECTED;
}

ULONG STDMETHODCALLTYPE Tombstone::AddRef() {
  CountCallOnReleasedObject();
  return 0;
}

ULONG STDMETHODCALLTYPE Tombstone::Release() {
  CountOverRelease();
  return 0;
}

// Called by ResetComModel: nothing may still point at these once a test resets the model.
void FreeTombstones() {
  ObjectRegistry& registry = Registry();
  std::deque<void*> freed;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    freed.swap(registry.tombstones);
    registry.over_releases = 0;
    registry.calls_on_released = 0;
  }
  for (void* storage : freed) {
    ::operator delete(storage);
  }
}

}  // namespace halvex::platform

namespace halvex::testing {

int LiveObjects(const std::string& interface_name) {
  auto& registry = platform::Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const auto it = registry.live.find(interface_name);
  return it == registry.live.end() ? 0 : it->second;
}

int TotalLiveObjects() {
  auto& registry = platform::Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  int total = 0;
  for (const auto& entry : registry.live) {
    total += entry.second;
  }
  return total;
}

std::map<std::string, int> LiveObjectCounts() {
  auto& registry = platform::Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  std::map<std::string, int> counts;
  for (const auto& entry : registry.live) {
    if (entry.second != 0) {
      counts.emplace(entry.first, entry.second);
    }
  }
  return counts;
}

int OverReleases() {
  auto& registry = platform::Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.over_releases;
}

int CallsOnReleasedObjects() {
  auto& registry = platform::Registry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.calls_on_released;
}

ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace halvex::testing
