// Reads a plain MP4's index back into samples, independently of the finisher's writer: the test's
// view of what a player of the finished file sees.
#ifndef HALVEX_TESTS_MP4_PLAIN_INDEX_READER_H_
#define HALVEX_TESTS_MP4_PLAIN_INDEX_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mp4/random_access_file.h"

namespace halvex::mp4_testing {

struct IndexedSample {
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t duration = 0;
  std::int64_t decode_time = 0;  // with the empty edits in front added, in the track's timescale
  std::int32_t composition_offset = 0;
  bool sync = true;
};

struct IndexedTrack {
  std::uint32_t track_id = 0;
  std::uint32_t timescale = 0;
  std::uint64_t media_duration = 0;  // mdhd
  std::uint64_t track_duration = 0;  // tkhd, movie timescale
  std::vector<IndexedSample> samples;
  std::vector<std::string> table_types;  // stbl children in order
};

struct PlainFile {
  bool ok = false;
  std::string error;
  std::vector<std::string> top_level;  // box types in order
  std::uint64_t mdat_offset = 0;
  std::uint64_t mdat_end = 0;
  std::uint32_t movie_timescale = 0;
  std::uint64_t movie_duration = 0;
  bool has_mvex = false;
  std::vector<IndexedTrack> tracks;
};

PlainFile ReadPlainFile(mp4::RandomAccessFile& file);

}  // namespace halvex::mp4_testing

#endif  // HALVEX_TESTS_MP4_PLAIN_INDEX_READER_H_
