// Apartments, object creation and task memory: the rules the product's per-thread COM set-up and
// its object creation rely on.
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

struct ApartmentStep {
  DWORD call;  // a COINIT model, or kUninitialize
  HRESULT expected;
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

TEST_P(ApartmentRules, FollowEachStepOnAFreshThread) {
  const ApartmentCase& test_case = GetParam();
  std::vector<std::string> failures;
  // A fresh thread: the rules are per thread, and the test thread already has an apartment.
  std::thread([&] {
    for (std::size_t i = 0; i < test_case.steps.size(); ++i) {
      const ApartmentStep& step = test_case.steps[i];
      HRESULT result = S_OK;
      if (step.call == kUninitialize) {
        CoUninitialize();
      } else {
        result = CoInitializeEx(nullptr, step.call);
      }
      if ((step.call != kUninitialize && result != step.expected) ||
          halvex::testing::CurrentApartment() != step.apartment_after ||
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
                                    {{kSta, S_OK, Apartment::kSingleThreaded, 1},
                                     {kSta | COINIT_DISABLE_OLE1DDE, S_FALSE,
                                      Apartment::kSingleThreaded, 2},
                                     {kMta, RPC_E_CHANGED_MODE, Apartment::kSingleThreaded, 2},
                                     {kUninitialize, S_OK, Apartment::kSingleThreaded, 1},
                                     {kUninitialize, S_OK, Apartment::kNone, 0},
                                     {kMta, S_OK, Apartment::kMultithreaded, 1},
                                     {kUninitialize, S_OK, Apartment::kNone, 0}},
                                    0},
                      ApartmentCase{"MultithreadedFirstRefusesSingleThreaded",
                                    {{kMta, S_OK, Apartment::kMultithreaded, 1},
                                     {kSta, RPC_E_CHANGED_MODE, Apartment::kMultithreaded, 1},
                                     {kMta, S_FALSE, Apartment::kMultithreaded, 2},
                                     {kUninitialize, S_OK, Apartment::kMultithreaded, 1},
                                     {kUninitialize, S_OK, Apartment::kNone, 0}},
                                    0},
                      ApartmentCase{"UninitializeWithoutInitializeIsCountedAndHarmless",
                                    {{kUninitialize, S_OK, Apartment::kNone, 0},
                                     {kSta, S_OK, Apartment::kSingleThreaded, 1},
                                     {kUninitialize, S_OK, Apartment::kNone, 0},
                                     {kUninitialize, S_OK, Apartment::kNone, 0}},
                                    2},
                      ApartmentCase{"UnknownFlagsAreRejectedWithoutEnteringAnApartment",
                                    {{0x100, E_INVALIDARG, Apartment::kNone, 0},
                                     {kMta, S_OK, Apartment::kMultithreaded, 1},
                                     {kUninitialize, S_OK, Apartment::kNone, 0}},
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

TEST_F(StandInTest, ReservedPointerIsRejected) {
  int reserved = 0;
  std::thread([&] {
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
  }).join();
}

struct CreationCase {
  const char* name;
  const CLSID* clsid;
  bool outer;
  DWORD context;
  const IID* iid;
  HRESULT expected;
};

void PrintTo(const CreationCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class ObjectCreation : public StandInTest, public ::testing::WithParamInterface<CreationCase> {};

TEST_P(ObjectCreation, AnswersAsWindowsDoes) {
  const CreationCase& test_case = GetParam();
  IUnknown* outer = nullptr;
  Owned<IUnknown> outer_object;
  if (test_case.outer) {
    ASSERT_EQ(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IUnknown,
                               outer_object.PutVoid()),
              S_OK);
    outer = outer_object.get();
  }
  const int live_before = halvex::testing::TotalLiveObjects();
  Owned<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(*test_case.clsid, outer, test_case.context, *test_case.iid,
                             object.PutVoid()),
            test_case.expected);
  EXPECT_EQ(static_cast<bool>(object), SUCCEEDED(test_case.expected));
  // A refused interface must not leave the object it created behind.
  EXPECT_EQ(halvex::testing::TotalLiveObjects(), live_before + (object ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Com,
    ObjectCreation,
    ::testing::Values(CreationCase{"ImagingFactory2", &CLSID_WICImagingFactory2, false,
                                   CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory, S_OK},
                      CreationCase{"ImagingFactory", &CLSID_WICImagingFactory, false,
                                   CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory, S_OK},
                      CreationCase{"DeviceEnumerator", &CLSID_MMDeviceEnumerator, false, CLSCTX_ALL,
                                   &IID_IMMDeviceEnumerator, S_OK},
                      CreationCase{"UnknownClass", &IID_IWICStream, false, CLSCTX_ALL,
                                   &IID_IUnknown, REGDB_E_CLASSNOTREG},
                      CreationCase{"OutOfProcessOnly", &CLSID_WICImagingFactory2, false,
                                   CLSCTX_LOCAL_SERVER, &IID_IWICImagingFactory,
                                   REGDB_E_CLASSNOTREG},
                      CreationCase{"Aggregation", &CLSID_WICImagingFactory2, true,
                                   CLSCTX_INPROC_SERVER, &IID_IWICImagingFactory,
                                   CLASS_E_NOAGGREGATION},
                      CreationCase{"InterfaceTheClassLacks", &CLSID_WICImagingFactory2, false,
                                   CLSCTX_INPROC_SERVER, &IID_IMMDeviceEnumerator, E_NOINTERFACE}),
    [](const ::testing::TestParamInfo<CreationCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, CreationNeedsComOnTheCallingThread) {
  HRESULT result = S_OK;
  void* object = &result;
  std::thread([&] {
    result = CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, &object);
  }).join();
  EXPECT_EQ(result, CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
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
