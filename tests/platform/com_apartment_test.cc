// Apartments, object creation and task memory as the stand-in records them: the apartment each
// thread is in, the objects a refused creation leaves, injected failures and task memory.
#include <gtest/gtest.h>

#include <combaseapi.h>
#include <mmdeviceapi.h>
#include <wincodec.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;
using halvex::testing::Apartment;

constexpr DWORD kUninitialize = 0xFFFFFFFF;

// The apartment the stand-in records after each step; what each call answers is held to Windows
// by the system-behaviour tests.
struct ApartmentStep {
  DWORD call;  // a COINIT model, or kUninitialize
  Apartment apartment_after;
  int init_count_after;
};

struct ApartmentCase {
  const char* name;
  std::vector<ApartmentStep> steps;
  int unbalanced_uninitializations;
};

void PrintTo(const ApartmentCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class ApartmentRules : public StandInTest, public ::testing::WithParamInterface<ApartmentCase> {};

TEST_P(ApartmentRules, RecordEachStepOnAFreshThread) {
  const ApartmentCase& test_case = GetParam();
  std::vector<std::string> failures;
  // A fresh thread: the rules are per thread, and the test thread already has an apartment.
  std::thread([&] {
    for (std::size_t i = 0; i < test_case.steps.size(); ++i) {
      const ApartmentStep& step = test_case.steps[i];
      if (step.call == kUninitialize) {
        CoUninitialize();
      } else {
        CoInitializeEx(nullptr, step.call);
      }
      if (halvex::testing::CurrentApartment() != step.apartment_after ||
          halvex::testing::CurrentApartmentInitCount() != step.init_count_after) {
        failures.push_back("step " + std::to_string(i));
      }
    }
  }).join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_EQ(halvex::testing::UnbalancedUninitializeCalls(), test_case.unbalanced_uninitializations);
}

constexpr DWORD kSta = COINIT_APARTMENTTHREADED;
constexpr DWORD kMta = COINIT_MULTITHREADED;

INSTANTIATE_TEST_SUITE_P(
    Com,
    ApartmentRules,
    ::testing::Values(ApartmentCase{"SingleThreadedRepeatsCountAndOtherModelIsRefused",
                                    {{kSta, Apartment::kSingleThreaded, 1},
                                     {kSta | COINIT_DISABLE_OLE1DDE, Apartment::kSingleThreaded, 2},
                                     {kMta, Apartment::kSingleThreaded, 2},
                                     {kUninitialize, Apartment::kSingleThreaded, 1},
                                     {kUninitialize, Apartment::kNone, 0},
                                     {kMta, Apartment::kMultithreaded, 1},
                                     {kUninitialize, Apartment::kNone, 0}},
                                    0},
                      ApartmentCase{"MultithreadedFirstRefusesSingleThreaded",
                                    {{kMta, Apartment::kMultithreaded, 1},
                                     {kSta, Apartment::kMultithreaded, 1},
                                     {kMta, Apartment::kMultithreaded, 2},
                                     {kUninitialize, Apartment::kMultithreaded, 1},
                                     {kUninitialize, Apartment::kNone, 0}},
                                    0},
                      ApartmentCase{"UninitializeWithoutInitializeIsCountedAndHarmless",
                                    {{kUninitialize, Apartment::kNone, 0},
                                     {kSta, Apartment::kSingleThreaded, 1},
                                     {kUninitialize, Apartment::kNone, 0},
                                     {kUninitialize, Apartment::kNone, 0}},
                                    2},
                      ApartmentCase{"UnknownFlagsAreRejectedWithoutEnteringAnApartment",
                                    {{0x100, Apartment::kNone, 0},
                                     {kMta, Apartment::kMultithreaded, 1},
                                     {kUninitialize, Apartment::kNone, 0}},
                                    0}),
    [](const ::testing::TestParamInfo<ApartmentCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, ApartmentsOfDifferentThreadsAreIndependent) {
  // The test thread is multithreaded; another thread may still choose single-threaded.
  HRESULT other_thread_result = E_FAIL;
  std::thread([&] {
    other_thread_result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoUninitialize();
  }).join();
  EXPECT_EQ(other_thread_result, S_OK);
  EXPECT_EQ(halvex::testing::CurrentApartment(), Apartment::kMultithreaded);
}

TEST_F(StandInTest, RefusedCreationLeavesNoObjectBehind) {
  Owned<IUnknown> outer;
  ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IUnknown,
                             outer.PutVoid()),
            S_OK);
  const int live_before = halvex::testing::TotalLiveObjects();
  // The class exists in both cases, so an object may be made before the call is refused.
  Owned<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IMMDeviceEnumerator, object.PutVoid()),
            E_NOINTERFACE);
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, outer.get(), CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, object.PutVoid()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(object);
  EXPECT_EQ(halvex::testing::TotalLiveObjects(), live_before);
}

TEST_F(StandInTest, InjectedCreationFailureClearsTheOutput) {
  halvex::testing::FailCall("CoCreateInstance", E_OUTOFMEMORY, 1);
  void* object = this;
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             &object),
            E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
  Owned<IMMDeviceEnumerator> enumerator;
  EXPECT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                             enumerator.PutVoid()),
            S_OK);
}

TEST_F(StandInTest, TaskMemoryIsCountedAndBadFreesAreCaughtNotPerformed) {
  const int live_before = halvex::testing::LiveTaskMemAllocations();
  void* first = CoTaskMemAlloc(16);
  void* empty = CoTaskMemAlloc(0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(first, empty);
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), live_before + 2);

  static_cast<char*>(first)[15] = 'x';
  void* grown = CoTaskMemRealloc(first, 4096);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(static_cast<char*>(grown)[15], 'x');
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), live_before + 2);

  CoTaskMemFree(grown);
  CoTaskMemFree(empty);
  CoTaskMemFree(nullptr);
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), live_before);
  EXPECT_EQ(halvex::testing::InvalidTaskMemFrees(), 0);

  CoTaskMemFree(grown);  // A double free is counted, not performed.
  int on_stack = 0;
  CoTaskMemFree(&on_stack);
  EXPECT_EQ(halvex::testing::InvalidTaskMemFrees(), 2);
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), live_before);
}

}  // namespace
