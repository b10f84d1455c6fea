// Runs in a process of its own: the process's recorder has never been started here.
#include "tests/recorder/channel_test_support.h"
#include "tests/support/encodable_value_printer.h"
#include "windows_testing/faults.h"
#include "windows_testing/media_foundation.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

using testing_support::Answer;
using testing_support::CallRecorder;

TEST(RecorderChannelFirstUseTest, StopBeforeAnyStartThenARefusedStart) {
  halvex::testing::ScopedFaults faults;
  EXPECT_EQ(CallRecorder("stop", flutter::EncodableValue()).value,
            testing_support::FrameReport(0, false));

  halvex::testing::FailCall("MFStartup", E_FAIL, 1);
  const flutter::EncodableValue arguments(
      flutter::EncodableMap{{flutter::EncodableValue("path"), flutter::EncodableValue("a.mp4")}});
  const Answer refused = CallRecorder("start", arguments);
  EXPECT_EQ(refused.answers, 1);
  EXPECT_EQ(refused.kind, Answer::Kind::kError);
  EXPECT_EQ(refused.code, "start_failed");
  EXPECT_EQ(refused.message, "Could not start desktop recorder");
  EXPECT_FALSE(refused.hasDetails);

  EXPECT_EQ(CallRecorder("start", arguments).kind, Answer::Kind::kSuccess);
  CallRecorder("stop", flutter::EncodableValue());
}

}  // namespace
}  // namespace halvex
