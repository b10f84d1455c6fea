// Recordings the finisher must refuse without touching them, and recordings cut off by a killed
// host, whose last fragment it drops while keeping the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "mp4/finish_recording.h"
#include "mp4/memory_file.h"
#include "tests/mp4/box_surgery.h"
#include "tests/mp4/layouts.h"

namespace halvex::mp4_testing {
namespace {

using mp4::FinishStatus;

struct Damage {
  std::string name;
  FinishStatus status;
  std::string reason_part;  // a piece of the reason that names the problem
  std::function<void(BuilderMovie*, std::vector<BuilderFragment>*)> change_layout;
  std::function<void(std::vector<std::uint8_t>*)> change_bytes;
};

void PrintTo(const Damage& damage, std::ostream* out) {
  *out << damage.name;
}

void NoLayoutChange(BuilderMovie*, std::vector<BuilderFragment>*) {}
void NoByteChange(std::vector<std::uint8_t>*) {}

// The first trun of the second fragment; its fields follow the 8-byte header and version/flags.
std::size_t SecondFragmentRun(const std::vector<std::uint8_t>& file) {
  return BoxInside(file, TopLevelBox(file, "moof", 1), "trun").offset;
}

const Damage kDamages[] = {
    {"BoxSizeBelowItsHeader", FinishStatus::kDamaged, "impossible size", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) { Put32(file, TopLevelBox(*file, "moof", 1).offset, 4); }},
    {"RunClaimsMoreSamplesThanItHolds", FinishStatus::kDamaged, "more samples", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       Put32(file, SecondFragmentRun(*file) + 12, 0x10000000);
     }},
    {"UnknownTrack", FinishStatus::kDamaged, "unknown track 7",
     [](BuilderMovie*, std::vector<BuilderFragment>* fragments) {
       (*fragments)[1].track_fragments[0].track_id = 7;
     },
     NoByteChange},
    {"NoSampleDescription", FinishStatus::kDamaged, "stsd",
     [](BuilderMovie* movie, std::vector<BuilderFragment>*) {
       movie->tracks[0].with_sample_description = false;
     },
     NoByteChange},
    {"SampleDescriptionTheTrackLacks", FinishStatus::kDamaged, "sample description",
     [](BuilderMovie* movie, std::vector<BuilderFragment>*) {
       movie->tracks[1].defaults.description_index = 2;
     },
     NoByteChange},
    {"DataOutsideTheFileMidway", FinishStatus::kDamaged, "outside the file", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       Put32(file, SecondFragmentRun(*file) + 16, 0x7fffff00);
     }},
    {"DataOverTheHeaderBoxes", FinishStatus::kDamaged, "header boxes", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       const std::size_t moof = TopLevelBox(*file, "moof", 1).offset;
       Put32(file, SecondFragmentRun(*file) + 16,
             static_cast<std::uint32_t>(-static_cast<std::int64_t>(moof) + 30));
     }},
    {"MalformedRunVersion", FinishStatus::kDamaged, "trun", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) { (*file)[SecondFragmentRun(*file) + 8] = 7; }},
    {"DecodeTimeGoesBack", FinishStatus::kDamaged, "backwards",
     [](BuilderMovie*, std::vector<BuilderFragment>* fragments) {
       (*fragments)[2].track_fragments[0].decode_time = 1000;
     },
     NoByteChange},
    {"TrackDefaultsForAnUnknownTrack", FinishStatus::kDamaged, "trex", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       Put32(file, BoxInside(*file, TopLevelBox(*file, "moov", 0), "trex").offset + 12, 9);
     }},
    {"HeaderIndexesSamplesToo", FinishStatus::kDamaged, "already indexes", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       Put32(file, BoxInside(*file, TopLevelBox(*file, "moov", 0), "stsz").offset + 16, 5);
     }},
    {"NoMoov", FinishStatus::kDamaged, "moov", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) {
       std::copy_n("free", 4,
                   file->begin() + static_cast<long>(TopLevelBox(*file, "moov", 0).offset + 4));
     }},
    {"NotAnMp4", FinishStatus::kNotMp4, "ftyp", NoLayoutChange,
     [](std::vector<std::uint8_t>* file) { std::copy_n("RIFF\0\0\0\0WAVE", 12, file->begin()); }},
};

class FinishDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(FinishDamageTest, IsRefusedWithAReasonAndTheFileUntouched) {
  BuilderMovie movie = VideoAndAudio();
  std::vector<BuilderFragment> fragments = Seconds(3, BaseOffset::kDefaultBaseIsMoof);
  GetParam().change_layout(&movie, &fragments);
  std::vector<PlacedSample> placed;
  std::vector<std::uint8_t> bytes = mp4::testing::BuildFile(movie, fragments, &placed);
  GetParam().change_bytes(&bytes);
  mp4::MemoryFile file(bytes);

  const mp4::FinishReport report = mp4::FinishRecording(file);
  EXPECT_EQ(report.status, GetParam().status) << report.reason;
  EXPECT_NE(report.reason.find(GetParam().reason_part), std::string::npos) << report.reason;
  EXPECT_EQ(file.bytes(), bytes);
}

INSTANTIATE_TEST_SUITE_P(Damages,
                         FinishDamageTest,
                         ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& param_info) {
                           return param_info.param.name;
                         });

struct Cut {
  std::string name;
  // Where the file ends, from the last fragment's moof.
  std::function<std::size_t(const Located& last_moof)> end;
  std::uint32_t dropped;
};

void PrintTo(const Cut& cut, std::ostream* out) {
  *out << cut.name;
}

const Cut kCuts[] = {
    {"InTheLastMdat", [](const Located& moof) { return moof.offset + moof.size + 8 + 700; }, 1},
    {"BeforeTheLastMdat", [](const Located& moof) { return moof.offset + moof.size; }, 1},
    {"InTheLastMoof", [](const Located& moof) { return moof.offset + 60; }, 1},
    {"InTheLastMoofsHeader", [](const Located& moof) { return moof.offset + 5; }, 0},
};

class FinishCutOffTest : public ::testing::TestWithParam<Cut> {};

TEST_P(FinishCutOffTest, DropsTheLastFragmentAndKeepsTheRest) {
  const BuilderMovie movie = VideoAndAudio();
  const std::vector<BuilderFragment> fragments = Seconds(4, BaseOffset::kExplicit);
  std::vector<PlacedSample> placed;
  std::vector<std::uint8_t> bytes = mp4::testing::BuildFile(movie, fragments, &placed);
  const Located last = TopLevelBox(bytes, "moof", 3);
  bytes.resize(GetParam().end(last));
  std::vector<PlacedSample> kept;
  for (const PlacedSample& sample : placed) {
    if (sample.offset < last.offset) {
      kept.push_back(sample);
    }
  }
  mp4::MemoryFile file(bytes);

  const mp4::FinishReport report = mp4::FinishRecording(file);
  ASSERT_EQ(report.status, FinishStatus::kFinished) << report.reason;
  EXPECT_EQ(report.fragments_used, 3u);
  EXPECT_EQ(report.fragments_dropped, GetParam().dropped);
  EXPECT_NEAR(report.duration_seconds, 3.0, 0.03);
  ExpectFinishedAsPlayed(file, bytes, movie, kept);
}

INSTANTIATE_TEST_SUITE_P(Cuts,
                         FinishCutOffTest,
                         ::testing::ValuesIn(kCuts),
                         [](const ::testing::TestParamInfo<Cut>& param_info) {
                           return param_info.param.name;
                         });

TEST(FinishCutOffTest, ARecordingKilledBeforeItsFirstFragmentEndedIsRefused) {
  std::vector<PlacedSample> placed;
  std::vector<std::uint8_t> bytes =
      mp4::testing::BuildFile(VideoAndAudio(), Seconds(1, BaseOffset::kExplicit), &placed);
  bytes.resize(bytes.size() - 100);
  mp4::MemoryFile file(bytes);
  const mp4::FinishReport report = mp4::FinishRecording(file);
  EXPECT_EQ(report.status, FinishStatus::kDamaged);
  EXPECT_EQ(report.fragments_dropped, 1u);
  EXPECT_EQ(file.bytes(), bytes);
}

}  // namespace
}  // namespace halvex::mp4_testing
