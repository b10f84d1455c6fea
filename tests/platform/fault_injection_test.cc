#include <gtest/gtest.h>

#include "fault_injection.h"
#include "windows_testing/faults.h"

namespace {

using halvex::platform::CheckFault;
using halvex::testing::CallCount;
using halvex::testing::FailCall;
using halvex::testing::ScopedFaults;

TEST(FaultInjection, NthCallIsCountedFromArmingAndFailsOnce) {
  ScopedFaults faults;
  EXPECT_FALSE(CheckFault("IMFSinkWriter::WriteSample"));  // A call before arming.
  FailCall("IMFSinkWriter::WriteSample", E_FAIL, 2);
  EXPECT_FALSE(CheckFault("IMFSinkWriter::WriteSample"));
  EXPECT_EQ(CheckFault("IMFSinkWriter::WriteSample"), E_FAIL);
  EXPECT_FALSE(CheckFault("IMFSinkWriter::WriteSample"));
  EXPECT_EQ(CallCount("IMFSinkWriter::WriteSample"), 4);
}

TEST(FaultInjection, EveryCallFailsUntilReset) {
  {
    ScopedFaults faults;
    FailCall("MFStartup", E_OUTOFMEMORY);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(CheckFault("MFStartup"), E_OUTOFMEMORY);
    }
    EXPECT_FALSE(CheckFault("MFShutdown"));  // Names are matched exactly.
  }
  EXPECT_FALSE(CheckFault("MFStartup"));
  EXPECT_EQ(CallCount("MFStartup"), 1);
}

}  // namespace
