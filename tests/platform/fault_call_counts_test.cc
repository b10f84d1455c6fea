#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fault_injection.h"
#include "windows_testing/faults.h"

namespace {

using halvex::platform::CheckFault;
using halvex::testing::CallCount;
using halvex::testing::CallCounts;
using halvex::testing::FailCall;
using halvex::testing::ResetFaults;
using halvex::testing::ScopedFaults;

TEST(FaultCallCounts, ListsEveryCallMadeSinceTheResetWithFailedCallsIncluded) {
  ScopedFaults faults;
  EXPECT_TRUE(CallCounts().empty());

  FailCall("IMFSinkWriter::WriteSample", E_FAIL, 2);
  FailCall("MFStartup", E_OUTOFMEMORY);  // Armed but never called: not listed.
  for (int i = 0; i < 3; ++i) {
    CheckFault("IMFSinkWriter::WriteSample");
  }
  CheckFault("IMFSample::SetSampleTime");

  const std::map<std::string, int> expected = {{"IMFSample::SetSampleTime", 1},
                                               {"IMFSinkWriter::WriteSample", 3}};
  EXPECT_EQ(CallCounts(), expected);
  for (const auto& [call, count] : expected) {
    EXPECT_EQ(CallCount(call), count) << call;
  }

  ResetFaults();
  EXPECT_TRUE(CallCounts().empty());
}

TEST(FaultCallCounts, CountsCallsFromEveryThread) {
  ScopedFaults faults;
  constexpr int kThreads = 4;
  constexpr int kCallsPerThread = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        CheckFault("IAudioCaptureClient::GetNextPacketSize");
        CheckFault(t % 2 == 0 ? "CoCreateInstance" : "CoInitializeEx");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const std::map<std::string, int> expected = {
      {"CoCreateInstance", 2 * kCallsPerThread},
      {"CoInitializeEx", 2 * kCallsPerThread},
      {"IAudioCaptureClient::GetNextPacketSize", kThreads * kCallsPerThread}};
  EXPECT_EQ(CallCounts(), expected);
}

}  // namespace
