#include "tests/mp4/layouts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mp4/box.h"
#include "tests/mp4/plain_index_reader.h"

namespace halvex::mp4_testing {

using mp4::testing::kNonSyncSampleFlags;
using mp4::testing::kSyncSampleFlags;

BuilderMovie VideoAndAudio() {
  BuilderMovie movie;
  movie.tracks.resize(2);
  movie.tracks[0].track_id = kVideoTrack;
  movie.tracks[1].track_id = kAudioTrack;
  movie.tracks[1].handler = mp4::FourCc("soun");
  movie.tracks[1].codec = mp4::FourCc("mp4a");
  movie.tracks[1].timescale = 48000;
  return movie;
}

BuilderRun VideoRun(int first, int count) {
  BuilderRun run;
  for (int i = first; i < first + count; ++i) {
    BuilderSample sample;
    sample.size = 500 + static_cast<std::uint32_t>((i * 37) % 300);
    sample.duration = 3000;
    sample.flags = i % 8 == 0 ? kSyncSampleFlags : kNonSyncSampleFlags;
    run.samples.push_back(sample);
  }
  return run;
}

BuilderRun AudioRun(int count) {
  BuilderRun run;
  run.samples.assign(static_cast<std::size_t>(count),
                     BuilderSample{200, 1024, kSyncSampleFlags, 0});
  return run;
}

BuilderTrackFragment VideoFragment(std::uint64_t decode_time, int first, int count) {
  BuilderTrackFragment traf;
  traf.track_id = kVideoTrack;
  traf.decode_time = decode_time;
  traf.runs.push_back(VideoRun(first, count));
  return traf;
}

BuilderTrackFragment AudioFragment(std::uint64_t decode_time, int count) {
  BuilderTrackFragment traf;
  traf.track_id = kAudioTrack;
  traf.decode_time = decode_time;
  traf.runs.push_back(AudioRun(count));
  return traf;
}

std::vector<BuilderFragment> Seconds(int count, BaseOffset base) {
  std::vector<BuilderFragment> fragments;
  for (int second = 0; second < count; ++second) {
    BuilderFragment fragment;
    fragment.base = base;
    fragment.track_fragments.push_back(VideoFragment(90000ull * second, 30 * second, 30));
    // 48000 / 1024 frames a second: 46 or 47, as the decode times say.
    const std::uint64_t start = (48000ull * second + 1023) / 1024;
    const std::uint64_t end = (48000ull * (second + 1) + 1023) / 1024;
    fragment.track_fragments.push_back(AudioFragment(start * 1024, static_cast<int>(end - start)));
    fragments.push_back(fragment);
  }
  return fragments;
}

void ExpectFinishedAsPlayed(mp4::RandomAccessFile& file,
                            const std::vector<std::uint8_t>& before,
                            const BuilderMovie& movie,
                            const std::vector<PlacedSample>& placed) {
  const PlainFile plain = ReadPlainFile(file);
  ASSERT_TRUE(plain.ok) << plain.error;
  ASSERT_GE(plain.top_level.size(), 3u);
  EXPECT_EQ(plain.top_level[0], "ftyp");
  EXPECT_EQ(plain.top_level[1], "mdat");
  EXPECT_EQ(plain.top_level[2], "moov");
  EXPECT_FALSE(plain.has_mvex);
  std::uint64_t size = 0;
  file.Size(&size);
  EXPECT_GE(plain.mdat_end, before.size()) << "the mdat covers the whole recording";

  // Media bytes: everything of the recording after the new mdat header is as it was.
  const std::size_t header = static_cast<std::size_t>(plain.mdat_offset) +
                             (plain.mdat_end - plain.mdat_offset > 0xffffffffull ? 16 : 8);
  std::vector<std::uint8_t> after(before.size() - header);
  ASSERT_TRUE(file.ReadAt(header, after.data(), after.size()));
  EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin() + static_cast<long>(header)))
      << "bytes of the recording changed";

  std::map<std::uint32_t, std::vector<PlacedSample>> expected;
  for (const PlacedSample& sample : placed) {
    expected[sample.track_id].push_back(sample);
  }
  ASSERT_EQ(plain.tracks.size(), movie.tracks.size());
  for (const IndexedTrack& track : plain.tracks) {
    SCOPED_TRACE("track " + std::to_string(track.track_id));
    const std::vector<PlacedSample>& want = expected[track.track_id];
    ASSERT_EQ(track.samples.size(), want.size());
    bool any_offset = false;
    bool all_sync = true;
    bool wide = false;
    for (std::size_t i = 0; i < want.size(); ++i) {
      SCOPED_TRACE("sample " + std::to_string(i));
      const IndexedSample& got = track.samples[i];
      EXPECT_EQ(got.offset, want[i].offset);
      EXPECT_EQ(got.size, want[i].size);
      EXPECT_EQ(got.decode_time, want[i].decode_time);
      EXPECT_EQ(got.composition_offset, want[i].composition_offset);
      EXPECT_EQ(got.sync, want[i].sync);
      const bool gap_follows =
          i + 1 < want.size() && want[i + 1].decode_time != want[i].decode_time + want[i].duration;
      if (gap_follows) {
        EXPECT_EQ(got.decode_time + got.duration, want[i + 1].decode_time);
      } else {
        EXPECT_EQ(got.duration, want[i].duration);
      }
      any_offset = any_offset || want[i].composition_offset != 0;
      all_sync = all_sync && want[i].sync;
      wide = wide || want[i].offset > 0xffffffffull;
    }
    const auto has = [&](const char* type) {
      return std::find(track.table_types.begin(), track.table_types.end(), type) !=
             track.table_types.end();
    };
    EXPECT_EQ(has("ctts"), any_offset);
    EXPECT_EQ(has("stss"), !all_sync);
    EXPECT_EQ(has("co64"), wide);
    EXPECT_EQ(has("stco"), !wide);
    if (!want.empty()) {
      const std::uint64_t end = static_cast<std::uint64_t>(want.back().decode_time) +
                                want.back().duration -
                                static_cast<std::uint64_t>(want.front().decode_time);
      EXPECT_EQ(track.media_duration, end);
    }
  }
}

}  // namespace halvex::mp4_testing
