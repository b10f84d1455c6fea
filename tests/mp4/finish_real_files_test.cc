// Fragmented recordings made by the ffmpeg command line (H.264 + AAC, several fragments, with and
// without offsets from the moof, with B-frames) finished in place through the Windows file API:
// ffprobe must find a plain file with the same packets at the same times, and the decoded
// pictures and sound must not change.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mp4/finish_recording.h"
#include "mp4/memory_file.h"
#include "mp4/windows_file.h"
#include "tests/media/child_process.h"
#include "tests/media/media_probe.h"
#include "tests/media/scratch_folder.h"
#include "tests/mp4/box_surgery.h"
#include "tests/mp4/plain_index_reader.h"

namespace halvex::mp4_testing {
namespace {

using media_testing::ProbedEntry;

struct Recording {
  std::string name;
  std::string movflags;
  std::vector<std::string> video_options;
  bool with_audio;
  bool cut_off;  // the last fragment's media cut short, as a killed recording leaves it
};

void PrintTo(const Recording& recording, std::ostream* out) {
  *out << recording.name;
}

const Recording kRecordings[] = {
    {"DefaultBaseIsMoof",
     "frag_keyframe+empty_moov+default_base_moof",
     {"-preset", "ultrafast"},
     true,
     false},
    {"ExplicitBaseOffsets", "frag_keyframe+empty_moov", {"-preset", "ultrafast"}, true, false},
    {"BFrames",
     "frag_keyframe+empty_moov+default_base_moof",
     {"-preset", "veryfast", "-bf", "2"},
     true,
     false},
    {"VideoOnly", "frag_keyframe+empty_moov", {"-preset", "ultrafast"}, false, false},
    {"CutOff", "frag_keyframe+empty_moov+default_base_moof", {"-preset", "ultrafast"}, true, true},
};

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

bool MakeRecording(const Recording& recording, const std::string& path) {
  std::vector<std::string> command = {"ffmpeg", "-nostdin", "-v",
                                      "error",  "-y",       "-f",
                                      "lavfi",  "-i",       "testsrc=size=160x120:rate=25"};
  if (recording.with_audio) {
    command.insert(command.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000"});
  }
  command.insert(command.end(), {"-t", "4", "-c:v", "libx264", "-g", "25", "-pix_fmt", "yuv420p"});
  command.insert(command.end(), recording.video_options.begin(), recording.video_options.end());
  if (recording.with_audio) {
    command.insert(command.end(), {"-c:a", "aac"});
  }
  command.insert(command.end(), {"-movflags", recording.movflags, path});
  return media_testing::RunCommand(command).exit_code == 0;
}

std::map<std::string, std::vector<ProbedEntry>> PacketsByStream(const media_testing::Probe& probe) {
  std::map<std::string, std::vector<ProbedEntry>> streams;
  for (const ProbedEntry& packet : probe.packets) {
    streams[packet.Text("stream_index")].push_back(packet);
  }
  return streams;
}

class FinishRealFileTest : public ::testing::TestWithParam<Recording> {};

TEST_P(FinishRealFileTest, FinishedFileHasTheSamePacketsAndDecodesTheSame) {
  if (!media_testing::MediaToolsAvailable()) {
    GTEST_SKIP() << media_testing::kMediaToolsMissing;
  }
  media_testing::ScratchFolder folder;
  const std::string fragmented = folder.File("fragmented.mp4");
  const std::string finished = folder.File("finished.mp4");
  ASSERT_TRUE(MakeRecording(GetParam(), fragmented));
  std::vector<std::uint8_t> bytes = media_testing::ReadFile(fragmented);
  ASSERT_GE(TopLevelBox(bytes, "moof", 2).size, 8u) << "several fragments";
  // What a reader of the fragments sees: of a cut-off recording, the fragments before the cut.
  const media_testing::Probe before = media_testing::ProbeFile(fragmented);
  ASSERT_TRUE(before.ok) << before.error;
  std::vector<std::uint8_t> pictures_before;
  ASSERT_TRUE(media_testing::DecodeVideo(fragmented, "yuv420p", &pictures_before));
  std::vector<std::int16_t> sound_before;
  if (GetParam().with_audio) {
    ASSERT_TRUE(media_testing::DecodeAudioAsMono48k(fragmented, &sound_before));
  }
  std::uint64_t cut_at = bytes.size();
  if (GetParam().cut_off) {
    int fragments = 0;
    while (TopLevelBox(bytes, "moof", fragments).size > 0) {
      ++fragments;
    }
    const Located last = TopLevelBox(bytes, "moof", fragments - 1);
    cut_at = last.offset;
    bytes.resize(last.offset + last.size + 8 + 300);
  }
  media_testing::WriteFile(finished, bytes);

  DWORD error = 0;
  {
    std::unique_ptr<mp4::WindowsFile> file = mp4::WindowsFile::Open(Wide(finished).c_str(), &error);
    ASSERT_NE(file, nullptr) << error;
    const mp4::FinishReport report = mp4::FinishRecording(*file);
    ASSERT_EQ(report.status, mp4::FinishStatus::kFinished) << report.reason;
    EXPECT_EQ(report.fragments_dropped, GetParam().cut_off ? 1u : 0u);
  }

  mp4::MemoryFile result(media_testing::ReadFile(finished));
  const PlainFile plain = ReadPlainFile(result);
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_EQ(plain.top_level, (std::vector<std::string>{"ftyp", "mdat", "moov"}))
      << "no fragment boxes are left for readers";

  const media_testing::Probe after = media_testing::ProbeFile(finished);
  ASSERT_TRUE(after.ok) << after.error;
  std::map<std::string, std::vector<ProbedEntry>> want = PacketsByStream(before);
  const std::map<std::string, std::vector<ProbedEntry>> got = PacketsByStream(after);
  ASSERT_EQ(got.size(), want.size());
  for (auto& [stream, packets] : want) {
    SCOPED_TRACE("stream " + stream);
    if (GetParam().cut_off) {
      // The packets of the fragments before the cut.
      std::vector<ProbedEntry> kept;
      const std::vector<ProbedEntry>& all = packets;
      const media_testing::CommandResult positions =
          media_testing::RunCommand({"ffprobe", "-v", "error", "-select_streams", stream,
                                     "-show_entries", "packet=pos", "-of", "csv=p=0", fragmented});
      std::size_t index = 0;
      std::size_t start = 0;
      while (index < all.size() && start < positions.out.size()) {
        const std::size_t end = positions.out.find('\n', start);
        if (std::stoull(positions.out.substr(start, end - start)) < cut_at) {
          kept.push_back(all[index]);
        }
        ++index;
        start = end + 1;
      }
      packets = kept;
    }
    const std::vector<ProbedEntry>& finished_packets = got.at(stream);
    ASSERT_EQ(finished_packets.size(), packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
      SCOPED_TRACE("packet " + std::to_string(i));
      EXPECT_EQ(finished_packets[i].Integer("pts"), packets[i].Integer("pts"));
      EXPECT_EQ(finished_packets[i].Integer("dts"), packets[i].Integer("dts"));
      EXPECT_EQ(finished_packets[i].Text("flags"), packets[i].Text("flags"));
      // Where ffmpeg's reader of fragments reports a duration, it is the fragment's default (or a
      // guess, for a stream's last packet), not always the distance to the next packet. That
      // distance, as the fragments timed them, is what the plain index must give.
      if (i + 1 < packets.size()) {
        EXPECT_EQ(finished_packets[i].Integer("duration"),
                  packets[i + 1].Integer("dts") - packets[i].Integer("dts"));
      }
    }
  }
  for (const ProbedEntry& stream : after.streams) {
    EXPECT_EQ(stream.Integer("nb_frames"),
              static_cast<std::int64_t>(got.at(stream.Text("index")).size()))
        << "a complete index";
    EXPECT_GT(stream.Number("duration"), 0);
  }

  if (!GetParam().cut_off) {
    std::vector<std::uint8_t> pictures_after;
    ASSERT_TRUE(media_testing::DecodeVideo(finished, "yuv420p", &pictures_after));
    EXPECT_TRUE(pictures_after == pictures_before) << "the pictures changed";
    if (GetParam().with_audio) {
      std::vector<std::int16_t> sound_after;
      ASSERT_TRUE(media_testing::DecodeAudioAsMono48k(finished, &sound_after));
      EXPECT_TRUE(sound_after == sound_before) << "the sound changed";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Recordings,
                         FinishRealFileTest,
                         ::testing::ValuesIn(kRecordings),
                         [](const ::testing::TestParamInfo<Recording>& param_info) {
                           return param_info.param.name;
                         });

}  // namespace
}  // namespace halvex::mp4_testing
