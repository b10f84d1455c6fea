// COM apartments and object creation as the recorder's per-thread set-up relies on them: the
// answers of CoInitializeEx per apartment and of CoCreateInstance for the classes it creates.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

// The device enumerator's IDs are declared by the SDK but defined in no import library.
#include <initguid.h>

#include <mmdeviceapi.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

constexpr DWORD kUninitialize = 0xFFFFFFFF;
constexpr DWORD kSta = COINIT_APARTMENTTHREADED;
constexpr DWORD kMta = COINIT_MULTITHREADED;

struct ApartmentStep {
  DWORD call;  // a COINIT model, or kUninitialize
  HRESULT expected;
};

struct ApartmentCase {
  const char* name;
  std::vector<ApartmentStep> steps;
  // Wine ignores flags it does not know and enters an apartment all the same.
  bool wine_differs = false;
};

TEST(SystemCom, ApartmentRulesHoldOnAFreshThread) {
  const ApartmentCase cases[] = {
      {"single-threaded repeats count and the other model is refused",
       {{kSta, S_OK},
        {kSta | COINIT_DISABLE_OLE1DDE, S_FALSE},
        {kMta, RPC_E_CHANGED_MODE},
        {kUninitialize, S_OK},
        {kUninitialize, S_OK},
        {kMta, S_OK},
        {kUninitialize, S_OK}}},
      {"multithreaded first refuses single-threaded",
       {{kMta, S_OK},
        {kSta, RPC_E_CHANGED_MODE},
        {kMta, S_FALSE},
        {kUninitialize, S_OK},
        {kUninitialize, S_OK}}},
      {"uninitialize without initialize is harmless",
       {{kUninitialize, S_OK}, {kSta, S_OK}, {kUninitialize, S_OK}, {kUninitialize, S_OK}}},
      {"unknown flags are rejected without entering an apartment",
       {{0x100, E_INVALIDARG}, {kMta, S_OK}, {kUninitialize, S_OK}},
       true},
  };
  for (const ApartmentCase& test : cases) {
    SCOPED_TRACE(test.name);
    if (test.wine_differs && RunsUnderWine()) {
      continue;
    }
    std::vector<HRESULT> results;
    // A fresh thread: the rules are per thread.
    std::thread([&] {
      for (const ApartmentStep& step : test.steps) {
        if (step.call == kUninitialize) {
          CoUninitialize();
          results.push_back(S_OK);
        } else {
          results.push_back(CoInitializeEx(nullptr, step.call));
        }
      }
    }).join();
    ASSERT_EQ(results.size(), test.steps.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
      EXPECT_EQ(results[i], test.steps[i].expected) << "step " << i;
    }
  }
}

TEST(SystemCom, ReservedPointerIsRejected) {
  int reserved = 0;
  HRESULT result = S_OK;
  std::thread([&] {
    result = CoInitializeEx(&reserved, COINIT_MULTITHREADED);
    if (SUCCEEDED(result)) {
      CoUninitialize();
    }
  }).join();
  // Wine ignores the reserved argument.
  EXPECT_EQ(result, RunsUnderWine() ? S_OK : E_INVALIDARG);
}

TEST(SystemCom, CreationNeedsComOnTheCallingThread) {
  HRESULT result = S_OK;
  void* object = &result;
  std::thread([&] {
    result = CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, &object);
  }).join();
  EXPECT_EQ(result, CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
}

struct CreationCase {
  const char* name;
  const CLSID* clsid;
  bool outer;
  DWORD context;
  const IID* iid;
  HRESULT expected;
};

TEST(SystemCom, ObjectCreationAnswersAsWindowsDoes) {
  const CreationCase cases[] = {
      {"imaging factory 2", &CLSID_WICImagingFactory2, false, CLSCTX_INPROC_SERVER,
       &IID_IWICImagingFactory, S_OK},
      {"imaging factory", &CLSID_WICImagingFactory, false, CLSCTX_INPROC_SERVER,
       &IID_IWICImagingFactory, S_OK},
      {"device enumerator", &CLSID_MMDeviceEnumerator, false, CLSCTX_ALL, &IID_IMMDeviceEnumerator,
       S_OK},
      {"unknown class", &IID_IWICStream, false, CLSCTX_ALL, &IID_IUnknown, REGDB_E_CLASSNOTREG},
      {"out of process only", &CLSID_WICImagingFactory2, false, CLSCTX_LOCAL_SERVER,
       &IID_IWICImagingFactory, REGDB_E_CLASSNOTREG},
      {"aggregation", &CLSID_WICImagingFactory2, true, CLSCTX_INPROC_SERVER,
       &IID_IWICImagingFactory, CLASS_E_NOAGGREGATION},
      {"interface the class lacks", &CLSID_WICImagingFactory2, false, CLSCTX_INPROC_SERVER,
       &IID_IMMDeviceEnumerator, E_NOINTERFACE},
  };
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  IUnknown* outer = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&outer)),
            S_OK);
  for (const CreationCase& test : cases) {
    SCOPED_TRACE(test.name);
    // The test prefix has no sound driver, and Wine then registers no device enumerator.
    if (RunsUnderWine() && test.clsid == &CLSID_MMDeviceEnumerator) {
      continue;
    }
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(*test.clsid, test.outer ? outer : nullptr, test.context, *test.iid,
                               reinterpret_cast<void**>(&object)),
              test.expected);
    EXPECT_EQ(object != nullptr, SUCCEEDED(test.expected));
    if (object != nullptr) {
      object->Release();
    }
  }
  outer->Release();
  CoUninitialize();
}

}  // namespace
}  // namespace halvex::testing
