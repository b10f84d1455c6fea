// Fails every call the recorder makes during a full recording with audio, one occurrence at a
// time, and checks that the recording ends as documented for that failure.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/reliability/fault_sweep_checks.h"
#include "tests/reliability/fault_sweep_scenario.h"
#include "tests/reliability/fault_sweep_table.h"

namespace halvex::fault_sweep {

namespace {

std::string Hex(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(result));
  return text;
}

// Every failure point writes a real file and has it probed; the first occurrence of each call also
// has every picture decoded. Under the sanitizers, which slow the recorder several times, only the
// first occurrence writes a real file and the others are checked on the writer's records, unless
// HALVEX_FAULT_SWEEP_REAL_FILES=all asks for a file at every point.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

FileCheck FileCheckFor(int occurrence) {
  if (!media_testing::MediaToolsAvailable()) {
    return FileCheck::kNone;
  }
  if (occurrence == 1) {
    return FileCheck::kDecode;
  }
  const char* setting = std::getenv("HALVEX_FAULT_SWEEP_REAL_FILES");
  const bool all = setting != nullptr && std::string(setting) == "all";
  return !kSanitized || all ? FileCheck::kProbe : FileCheck::kNone;
}

RecordingRun Record(const InjectedFault& fault,
                    const ExpectedRecording& expected,
                    FileCheck fileCheck,
                    const media_testing::ScratchFolder& folder,
                    bool needsRealFile = false) {
  RunOptions options;
  options.fault = fault;
  options.settle = SettleFor(expected);
  options.realFiles = fileCheck != FileCheck::kNone || needsRealFile;
  options.path = folder.File("sweep-" + std::to_string(fault.occurrence) + ".mp4");
  return RunRecording(options);
}

TEST(FaultSweepReference, IsTheFullRecordingAndMakesOnlyClassifiedCalls) {
  const media_testing::ScratchFolder folder;
  const FileCheck fileCheck = FileCheckFor(1);
  const RecordingRun run = Record(InjectedFault{}, FullRecording(), fileCheck, folder);
  CheckRecording(run, FullRecording(), fileCheck);

  for (const auto& [call, count] : run.calls) {
    EXPECT_NE(FindSweepEntry(call), nullptr)
        << call << " (made " << count
        << " times) has no documented outcome in the sweep's table: classify it";
  }
  for (const SweepEntry& entry : SweepTable()) {
    // Media Foundation is started once per process: an earlier recording may have done it.
    if (!entry.oncePerProcess && !entry.queueOnly) {
      EXPECT_NE(run.calls.count(entry.call), 0u)
          << entry.call << " is classified, but the recording no longer makes it";
    }
  }
}

class FaultSweep : public ::testing::TestWithParam<SweepEntry> {};

TEST_P(FaultSweep, EveryOccurrenceFailingEndsAsDocumented) {
  const SweepEntry& entry = GetParam();
  if (entry.queueOnly) {
    GTEST_SKIP() << entry.call << " is made only with calls in flight";
  }
  const media_testing::ScratchFolder folder;

  int occurrences = 1;
  if (!entry.oncePerProcess) {
    // How often the recording makes the call. A call made once per process gets no reference run:
    // that would make it, and the failing run would never see it again.
    SCOPED_TRACE("reference recording, nothing failing");
    const RecordingRun reference =
        Record(InjectedFault{}, FullRecording(), FileCheck::kNone, folder, entry.needsRealFile);
    CheckRecording(reference, FullRecording(), FileCheck::kNone);
    const auto made = reference.calls.find(entry.call);
    ASSERT_NE(made, reference.calls.end()) << "the recording does not make " << entry.call;
    occurrences = made->second;
    if (entry.firstOccurrences > 0) {
      ASSERT_GE(occurrences, entry.firstOccurrences);
      occurrences = entry.firstOccurrences;
    }
  }

  for (int occurrence = 1; occurrence <= occurrences; ++occurrence) {
    const InjectedFault fault{entry.call, entry.failure, occurrence};
    SCOPED_TRACE(std::string(entry.call) + " fails with " + Hex(entry.failure) + " at occurrence " +
                 std::to_string(occurrence) + " of " + std::to_string(occurrences) +
                 " (documented: " + entry.documented + ")");
    const std::vector<ExpectedRecording> alternatives = entry.expect(occurrence);
    const FileCheck fileCheck = FileCheckFor(occurrence);
    const RecordingRun run =
        Record(fault, alternatives.front(), fileCheck, folder, entry.needsRealFile);
    if (!run.faultReached) {
      if (entry.oncePerProcess) {
        GTEST_SKIP() << entry.call << " was made by an earlier recording of this process; "
                     << "run this test in a process of its own (ctest does)";
      }
      ADD_FAILURE() << "the failing occurrence was never reached";
      continue;
    }
    CheckRecording(run, MatchingAlternative(run, alternatives), fileCheck);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FaultSweep, ::testing::ValuesIn(SweepTable()), TestName);

}  // namespace
}  // namespace halvex::fault_sweep
