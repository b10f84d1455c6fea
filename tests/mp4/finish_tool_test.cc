// halvex-finish-recording: its exit status and what it prints for every kind of file it meets;
// a file it cannot finish is left exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mp4/testing/fragmented_mp4_builder.h"
#include "tests/media/child_process.h"
#include "tests/media/scratch_folder.h"
#include "tests/mp4/layouts.h"

namespace halvex::mp4_testing {
namespace {

struct ToolCase {
  std::string name;
  std::vector<std::uint8_t> (*make)();  // the file's bytes; null: no file
  int exit_code;
  std::string out;  // a piece of the standard output
  std::string err;  // a piece of the standard error
  bool changes_file;
};

void PrintTo(const ToolCase& tool_case, std::ostream* out) {
  *out << tool_case.name;
}

std::vector<std::uint8_t> Fragmented() {
  std::vector<PlacedSample> placed;
  return mp4::testing::BuildFile(VideoAndAudio(), Seconds(2, BaseOffset::kDefaultBaseIsMoof),
                                 &placed);
}

std::vector<std::uint8_t> Plain() {
  BuilderMovie movie = VideoAndAudio();
  movie.fragmented = false;
  return mp4::testing::BuildHeader(movie);
}

std::vector<std::uint8_t> Damaged() {
  std::vector<BuilderFragment> fragments = Seconds(2, BaseOffset::kDefaultBaseIsMoof);
  fragments[1].track_fragments[0].track_id = 5;
  std::vector<PlacedSample> placed;
  return mp4::testing::BuildFile(VideoAndAudio(), fragments, &placed);
}

std::vector<std::uint8_t> Text() {
  const std::string text = "not a video at all\n";
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

const ToolCase kCases[] = {
    {"Fragmented", Fragmented, 0,
     "finished: 2.01 s, 2 fragments kept, 0 dropped (cut off)\n  track 1: video avc1, 60 frames, "
     "2.00 s\n  track 2: audio mp4a, 94 frames",
     "", true},
    {"AlreadyPlain", Plain, 0, "already a plain MP4", "", false},
    {"Damaged", Damaged, 1, "", "damaged: a fragment names unknown track 5", false},
    {"NotAnMp4", Text, 1, "", "not an MP4 file", false},
    {"Missing", nullptr, 1, "", "cannot open: no such file", false},
};

class FinishToolTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(FinishToolTest, SaysWhatItFoundAndExitsAccordingly) {
  media_testing::ScratchFolder folder;
  const std::string path = folder.File("recording.mp4");
  std::vector<std::uint8_t> bytes;
  if (GetParam().make != nullptr) {
    bytes = GetParam().make();
    media_testing::WriteFile(path, bytes);
  }
  const media_testing::CommandResult run = media_testing::RunCommand({HALVEX_FINISH_TOOL, path});
  EXPECT_EQ(run.exit_code, GetParam().exit_code) << run.out << run.err;
  EXPECT_NE(run.out.find(GetParam().out), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(GetParam().err), std::string::npos) << run.err;
  if (GetParam().exit_code != 0) {
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
  if (GetParam().make != nullptr) {
    EXPECT_EQ(media_testing::ReadFile(path) != bytes, GetParam().changes_file);
  }
}

INSTANTIATE_TEST_SUITE_P(Files,
                         FinishToolTest,
                         ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ToolCase>& param_info) {
                           return param_info.param.name;
                         });

TEST(FinishToolUsageTest, AnythingButOneFileIsAUsageError) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"a.mp4", "b.mp4"}, {""}}) {
    std::vector<std::string> command = {HALVEX_FINISH_TOOL};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const media_testing::CommandResult run = media_testing::RunCommand(command);
    EXPECT_EQ(run.exit_code, 2) << arguments.size() << " arguments";
    EXPECT_NE(run.err.find("usage: halvex-finish-recording FILE"), std::string::npos);
  }
}

}  // namespace
}  // namespace halvex::mp4_testing
