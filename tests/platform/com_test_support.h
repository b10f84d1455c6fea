// Shared by the tests of the COM half of the stand-in: a fixture that starts every test from a
// clean stand-in and proves on the way out that the test released every object it made.
#ifndef HALVEX_TESTS_PLATFORM_COM_TEST_SUPPORT_H_
#define HALVEX_TESTS_PLATFORM_COM_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <combaseapi.h>
#include <mfapi.h>

#include <map>
#include <string>
#include <utility>

#include "windows_testing/audio.h"
#include "windows_testing/clock.h"
#include "windows_testing/com.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex::test {

// Owns one reference; Put() hands out the slot an out-parameter fills.
template <typename T>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T* adopted) : object_(adopted) {}
  Owned(Owned&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Reset(); }

  T** Put() {
    Reset();
    return &object_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }
  void Reset() {
    if (object_ != nullptr) {
      std::exchange(object_, nullptr)->Release();
    }
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetStandIn();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(MFStartup(MF_VERSION), S_OK);
    objects_before_ = halvex::testing::LiveObjectCounts();
    task_memory_before_ = halvex::testing::LiveTaskMemAllocations();
  }

  void TearDown() override {
    EXPECT_EQ(halvex::testing::LiveObjectCounts(), objects_before_) << "objects left alive";
    EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), task_memory_before_)
        << "task memory left allocated";
    EXPECT_EQ(halvex::testing::OverReleases(), 0);
    MFShutdown();
    ResetStandIn();
  }

 private:
  static void ResetStandIn() {
    halvex::testing::ResetFaults();
    halvex::testing::ResetComModel();
    halvex::testing::ResetMediaFoundation();
    halvex::testing::ResetImaging();
    halvex::testing::ResetAudio();
  }

  std::map<std::string, int> objects_before_;
  int task_memory_before_ = 0;
};

}  // namespace halvex::test

#endif  // HALVEX_TESTS_PLATFORM_COM_TEST_SUPPORT_H_
