// A write or flush that fails at any step of finishing (a full disk, a pulled cable) leaves a file
// that still plays, and finishing it again completes it: swept over every write and flush the
// finisher makes, on a complete recording and on one cut off by a killed host.
#include <gtest/gtest.h>

#include <string>

#include "mp4/finish_recording.h"
#include "mp4/memory_file.h"
#include "tests/mp4/box_surgery.h"
#include "tests/mp4/layouts.h"
#include "tests/mp4/test_files.h"

namespace halvex::mp4_testing {
namespace {

using mp4::FinishStatus;

struct Failure {
  std::string name;
  int fail_write;
  int fail_flush;
  bool torn;
  bool cut_off;
};

void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.name;
}

std::vector<Failure> AllFailures() {
  std::vector<Failure> failures;
  for (bool cut_off : {false, true}) {
    const std::string recording = cut_off ? "CutOff" : "Complete";
    // Two writes (the index, the mdat header) and a flush after each. Only the index can be torn
    // by a crash: the header's few bytes lie in one disk sector, which is written whole or not.
    for (int n = 1; n <= 2; ++n) {
      failures.push_back({recording + "Write" + std::to_string(n), n, 0, false, cut_off});
      failures.push_back({recording + "Flush" + std::to_string(n), 0, n, false, cut_off});
    }
    failures.push_back({recording + "TornIndexWrite", 1, 0, true, cut_off});
  }
  return failures;
}

class FinishCrashSafetyTest : public ::testing::TestWithParam<Failure> {};

TEST_P(FinishCrashSafetyTest, TheFileStillPlaysAndFinishingAgainCompletesIt) {
  const BuilderMovie movie = VideoAndAudio();
  std::vector<PlacedSample> placed;
  std::vector<std::uint8_t> bytes =
      mp4::testing::BuildFile(movie, Seconds(3, BaseOffset::kDefaultBaseIsMoof), &placed);
  if (GetParam().cut_off) {
    const Located last = TopLevelBox(bytes, "moof", 2);
    bytes.resize(last.offset + last.size + 2000);
    std::vector<PlacedSample> kept;
    for (const PlacedSample& sample : placed) {
      if (sample.offset < last.offset) {
        kept.push_back(sample);
      }
    }
    placed = kept;
  }
  mp4::MemoryFile file(bytes);
  {
    FailingFile failing(file, GetParam().fail_write, GetParam().fail_flush, GetParam().torn);
    const mp4::FinishReport report = mp4::FinishRecording(failing);
    EXPECT_EQ(report.status, FinishStatus::kWriteFailed);
    EXPECT_FALSE(report.reason.empty());
  }
  // Still playable: either still the fragments (with the same samples) or already plain.
  mp4::MemoryFile snapshot(file.bytes());
  const mp4::FinishReport seen = mp4::InspectRecording(snapshot);
  if (seen.status == FinishStatus::kFragmented) {
    std::uint64_t samples = 0;
    for (const mp4::TrackReport& track : seen.tracks) {
      samples += track.samples;
    }
    EXPECT_EQ(samples, placed.size());
  } else {
    EXPECT_EQ(seen.status, FinishStatus::kAlreadyPlain) << seen.reason;
  }

  const mp4::FinishReport again = mp4::FinishRecording(file);
  EXPECT_TRUE(again.status == FinishStatus::kFinished ||
              (again.status == FinishStatus::kAlreadyPlain && GetParam().fail_flush == 2))
      << mp4::FinishStatusName(again.status) << ": " << again.reason;
  ExpectFinishedAsPlayed(file, bytes, movie, placed);
}

INSTANTIATE_TEST_SUITE_P(Failures,
                         FinishCrashSafetyTest,
                         ::testing::ValuesIn(AllFailures()),
                         [](const ::testing::TestParamInfo<Failure>& param_info) {
                           return param_info.param.name;
                         });

}  // namespace
}  // namespace halvex::mp4_testing
