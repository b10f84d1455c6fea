// The finisher on every fragment layout muxers write: where offsets count from, which values
// runs carry and which come from defaults, which tracks a fragment holds, and decode times with
// gaps or a late start. Each must finish into a plain file whose samples play as the fragments'.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "mp4/finish_recording.h"
#include "mp4/memory_file.h"
#include "tests/mp4/layouts.h"
#include "tests/mp4/plain_index_reader.h"
#include "tests/mp4/test_files.h"

namespace halvex::mp4_testing {
namespace {

using mp4::FinishStatus;
using mp4::testing::kNonSyncSampleFlags;
using mp4::testing::kSyncSampleFlags;

struct Layout {
  std::string name;
  std::function<void(BuilderMovie*, std::vector<BuilderFragment>*)> make;
};

void PrintTo(const Layout& layout, std::ostream* out) {
  *out << layout.name;
}

// Video runs without per-sample flags: the first sample's flags in the run, the rest from the
// fragment's defaults, as muxers write key-frame-led fragments.
void FirstSampleFlags(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(3, BaseOffset::kDefaultBaseIsMoof);
  for (BuilderFragment& fragment : *fragments) {
    BuilderTrackFragment& video = fragment.track_fragments[0];
    video.default_flags = kNonSyncSampleFlags;
    BuilderRun& run = video.runs[0];
    run.sample_flags = false;
    run.first_sample_flags = true;
    for (std::size_t i = 0; i < run.samples.size(); ++i) {
      run.samples[i].flags = i == 0 ? kSyncSampleFlags : kNonSyncSampleFlags;
    }
  }
}

// Audio with nothing per sample: sizes, durations and flags from the fragment header.
void FragmentDefaults(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(3, BaseOffset::kExplicit);
  for (BuilderFragment& fragment : *fragments) {
    BuilderTrackFragment& audio = fragment.track_fragments[1];
    audio.default_duration = 1024;
    audio.default_size = 200;
    audio.default_flags = kSyncSampleFlags;
    audio.runs[0].sample_durations = false;
    audio.runs[0].sample_sizes = false;
    audio.runs[0].sample_flags = false;
  }
}

// The same, from the track's defaults in mvex.
void TrackDefaults(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  movie->tracks[1].defaults = {1, 1024, 200, kSyncSampleFlags};
  *fragments = Seconds(3, BaseOffset::kImplied);
  for (BuilderFragment& fragment : *fragments) {
    BuilderRun& run = fragment.track_fragments[1].runs[0];
    run.sample_durations = false;
    run.sample_sizes = false;
    run.sample_flags = false;
  }
}

// B-frames: composition offsets, unsigned (version 0) or signed (version 1).
void CompositionOffsets(std::uint8_t version,
                        BuilderMovie* movie,
                        std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(2, BaseOffset::kDefaultBaseIsMoof);
  for (BuilderFragment& fragment : *fragments) {
    BuilderRun& run = fragment.track_fragments[0].runs[0];
    run.composition_offsets = true;
    run.version = version;
    for (std::size_t i = 0; i < run.samples.size(); ++i) {
      const std::int32_t base = i % 3 == 0 ? 6000 : (i % 3 == 1 ? 0 : 3000);
      run.samples[i].composition_offset = version == 1 ? base - 3000 : base;
    }
  }
}

// Each fragment holds one track, alternating.
void OneTrackPerFragment(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  for (const BuilderFragment& both : Seconds(3, BaseOffset::kDefaultBaseIsMoof)) {
    for (const BuilderTrackFragment& traf : both.track_fragments) {
      BuilderFragment one;
      one.track_fragments.push_back(traf);
      fragments->push_back(one);
    }
  }
}

// Several runs per track fragment; later ones follow the previous run's data without an offset.
void SeveralRuns(BaseOffset base, BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  for (int second = 0; second < 2; ++second) {
    BuilderFragment fragment;
    fragment.base = base;
    BuilderTrackFragment video = VideoFragment(90000ull * second, 30 * second, 10);
    video.runs.push_back(VideoRun(30 * second + 10, 10));
    video.runs.push_back(VideoRun(30 * second + 20, 10));
    video.runs[1].data_offset = false;
    fragment.track_fragments.push_back(video);
    BuilderTrackFragment audio = AudioFragment(47104ull * second, 23);
    audio.runs.push_back(AudioRun(23));
    audio.runs[0].data_offset = base != BaseOffset::kImplied;
    fragment.track_fragments.push_back(audio);
    fragments->push_back(fragment);
  }
}

// A gap in decode times between fragments: later samples must keep their times.
void GapBetweenFragments(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(3, BaseOffset::kDefaultBaseIsMoof);
  (*fragments)[1].track_fragments[0].decode_time = 90000 + 4500;
  (*fragments)[2].track_fragments[0].decode_time = 180000 + 9000;
  (*fragments)[2].track_fragments[1].decode_time = 96256 + 2048;
}

// Decode times that start after 0 (a recording joined late): the finished file starts there too.
void LateStart(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(2, BaseOffset::kExplicit);
  for (BuilderFragment& fragment : *fragments) {
    *fragment.track_fragments[0].decode_time += 180000;  // 2 s
    *fragment.track_fragments[1].decode_time += 96000;
  }
}

// No tfdt at all: each fragment continues where the track's previous one ended.
void NoDecodeTimes(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  *fragments = Seconds(3, BaseOffset::kImplied);
  for (BuilderFragment& fragment : *fragments) {
    for (BuilderTrackFragment& traf : fragment.track_fragments) {
      traf.decode_time.reset();
    }
  }
}

// An edit list of "the whole track" (zero duration), which the finished file gets filled in.
void WholeTrackEdit(BuilderMovie* movie, std::vector<BuilderFragment>* fragments) {
  *movie = VideoAndAudio();
  movie->tracks[0].edits = {mp4::EditEntry{0, 0, 1, 0}};
  *fragments = Seconds(2, BaseOffset::kDefaultBaseIsMoof);
}

const Layout kLayouts[] = {
    {"DefaultBaseIsMoof",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) {
       *m = VideoAndAudio();
       *f = Seconds(3, BaseOffset::kDefaultBaseIsMoof);
     }},
    {"ExplicitBaseOffsets",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) {
       *m = VideoAndAudio();
       *f = Seconds(3, BaseOffset::kExplicit);
     }},
    {"ImpliedBaseOffsets",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) {
       *m = VideoAndAudio();
       *f = Seconds(3, BaseOffset::kImplied);
     }},
    {"FirstSampleFlagsAndDefaultFlags", FirstSampleFlags},
    {"DefaultsFromTheFragmentHeader", FragmentDefaults},
    {"DefaultsFromTheTrack", TrackDefaults},
    {"CompositionOffsetsUnsigned",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) { CompositionOffsets(0, m, f); }},
    {"CompositionOffsetsSigned",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) { CompositionOffsets(1, m, f); }},
    {"OneTrackPerFragment", OneTrackPerFragment},
    {"SeveralRunsFromTheMoof",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) {
       SeveralRuns(BaseOffset::kDefaultBaseIsMoof, m, f);
     }},
    {"SeveralRunsImplied",
     [](BuilderMovie* m, std::vector<BuilderFragment>* f) {
       SeveralRuns(BaseOffset::kImplied, m, f);
     }},
    {"GapBetweenFragments", GapBetweenFragments},
    {"LateStart", LateStart},
    {"NoDecodeTimes", NoDecodeTimes},
    {"WholeTrackEdit", WholeTrackEdit},
};

class FinishLayoutTest : public ::testing::TestWithParam<Layout> {};

TEST_P(FinishLayoutTest, FinishesIntoAPlainFileThatPlaysAsTheFragmentsDid) {
  BuilderMovie movie;
  std::vector<BuilderFragment> fragments;
  GetParam().make(&movie, &fragments);
  std::vector<PlacedSample> placed;
  const std::vector<std::uint8_t> before = mp4::testing::BuildFile(movie, fragments, &placed);
  mp4::MemoryFile file(before);

  const mp4::FinishReport inspected = mp4::InspectRecording(file);
  EXPECT_EQ(inspected.status, FinishStatus::kFragmented) << inspected.reason;
  EXPECT_EQ(file.bytes(), before) << "inspecting writes nothing";

  const mp4::FinishReport report = mp4::FinishRecording(file);
  ASSERT_EQ(report.status, FinishStatus::kFinished) << report.reason;
  EXPECT_EQ(report.fragments_used, fragments.size());
  EXPECT_EQ(report.fragments_dropped, 0u);
  ASSERT_EQ(report.tracks.size(), 2u);
  EXPECT_EQ(report.tracks[0].kind, mp4::TrackKind::kVideo);
  EXPECT_EQ(report.tracks[0].codec, "avc1");
  EXPECT_EQ(report.tracks[1].kind, mp4::TrackKind::kAudio);
  EXPECT_EQ(report.tracks[1].codec, "mp4a");
  EXPECT_EQ(report.tracks[0].samples + report.tracks[1].samples, placed.size());
  ExpectFinishedAsPlayed(file, before, movie, placed);

  const std::vector<std::uint8_t> finished = file.bytes();
  EXPECT_EQ(mp4::FinishRecording(file).status, FinishStatus::kAlreadyPlain);
  EXPECT_EQ(file.bytes(), finished) << "a plain file is left alone";
}

INSTANTIATE_TEST_SUITE_P(Layouts,
                         FinishLayoutTest,
                         ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& param_info) {
                           return param_info.param.name;
                         });

// Offsets past 4 GiB need co64 and a 64-bit mdat size; the file is sparse, the media imagined.
TEST(FinishLargeFileTest, OffsetsAbove4GiBGetWideChunkOffsetsAndALargeMdat) {
  const BuilderMovie movie = VideoAndAudio();
  const std::vector<BuilderFragment> fragments = Seconds(2, BaseOffset::kExplicit);
  SparseFile file;
  std::vector<PlacedSample> placed;
  std::vector<std::uint8_t> header = mp4::testing::BuildHeader(movie);
  file.WriteAt(0, header.data(), header.size());
  std::vector<std::uint8_t> first =
      mp4::testing::BuildFragment(movie, fragments[0], header.size(), 1, &placed);
  file.WriteAt(header.size(), first.data(), first.size());
  // A free box with a 64-bit size carries the file past 4 GiB.
  const std::uint64_t free_at = header.size() + first.size();
  const std::uint64_t second_at = 5ull << 30;
  std::vector<std::uint8_t> free_box = {0, 0, 0, 1, 'f', 'r', 'e', 'e'};
  for (int shift = 56; shift >= 0; shift -= 8) {
    free_box.push_back(static_cast<std::uint8_t>((second_at - free_at) >> shift));
  }
  file.WriteAt(free_at, free_box.data(), free_box.size());
  std::vector<std::uint8_t> second =
      mp4::testing::BuildFragment(movie, fragments[1], second_at, 2, &placed);
  file.WriteAt(second_at, second.data(), second.size());
  // Decode times: both fragments carry tfdt, one second apart.
  std::map<std::uint32_t, std::int64_t> time;
  for (PlacedSample& sample : placed) {
    sample.decode_time = time[sample.track_id];
    time[sample.track_id] += sample.duration;
  }
  std::uint64_t size = 0;
  file.Size(&size);

  const mp4::FinishReport report = mp4::FinishRecording(file);
  ASSERT_EQ(report.status, FinishStatus::kFinished) << report.reason;
  const PlainFile plain = ReadPlainFile(file);
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_EQ(plain.top_level, (std::vector<std::string>{"ftyp", "mdat", "moov"}));
  EXPECT_EQ(plain.mdat_end, size);
  std::uint8_t mdat_header[16];
  ASSERT_TRUE(file.ReadAt(plain.mdat_offset, mdat_header, sizeof(mdat_header)));
  EXPECT_EQ(mdat_header[3], 1) << "a 64-bit size";
  for (const IndexedTrack& track : plain.tracks) {
    EXPECT_NE(std::find(track.table_types.begin(), track.table_types.end(), "co64"),
              track.table_types.end());
    std::size_t index = 0;
    for (const PlacedSample& sample : placed) {
      if (sample.track_id != track.track_id) {
        continue;
      }
      ASSERT_LT(index, track.samples.size());
      EXPECT_EQ(track.samples[index].offset, sample.offset);
      EXPECT_EQ(track.samples[index].decode_time, sample.decode_time);
      ++index;
    }
    EXPECT_EQ(index, track.samples.size());
  }
}

}  // namespace
}  // namespace halvex::mp4_testing
