// Test-only: writes fragmented MP4 files of any layout the finisher must accept (and damaged ones
// from them), and says where each sample landed and when a reader of the fragments plays it.
// Linked by tests and benchmarks, never by product code.
#ifndef HALVEX_MP4_TESTING_FRAGMENTED_MP4_BUILDER_H_
#define HALVEX_MP4_TESTING_FRAGMENTED_MP4_BUILDER_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "mp4/movie_header.h"

namespace halvex::mp4::testing {

// Sample flags as muxers write them.
constexpr std::uint32_t kSyncSampleFlags = 0x02000000;     // depends on nothing
constexpr std::uint32_t kNonSyncSampleFlags = 0x01010000;  // depends on others, not sync

struct BuilderTrack {
  std::uint32_t track_id = 1;
  std::uint32_t handler = 0x76696465;  // 'vide'
  std::uint32_t codec = 0x61766331;    // 'avc1'
  std::uint32_t timescale = 90000;
  SampleDefaults defaults;  // trex
  bool with_defaults = true;
  bool with_sample_description = true;
  std::vector<EditEntry> edits;  // an edts box when not empty
};

struct BuilderSample {
  std::uint32_t size = 100;
  std::uint32_t duration = 3000;
  std::uint32_t flags = kSyncSampleFlags;
  std::int32_t composition_offset = 0;
};

// Which fields a run writes per sample; the others come from the fragment's or the track's
// defaults, which the test sets to match.
struct BuilderRun {
  std::vector<BuilderSample> samples;
  bool sample_durations = true;
  bool sample_sizes = true;
  bool sample_flags = true;
  bool composition_offsets = false;
  bool first_sample_flags = false;  // the first sample's flags in the run header instead
  std::uint8_t version = 0;         // 1: signed composition offsets
  bool data_offset = true;          // without it the data follows the previous run's
};

struct BuilderTrackFragment {
  std::uint32_t track_id = 1;
  std::optional<std::uint64_t> decode_time;  // a tfdt box
  bool wide_decode_time = true;
  std::optional<std::uint32_t> default_duration;
  std::optional<std::uint32_t> default_size;
  std::optional<std::uint32_t> default_flags;
  std::vector<BuilderRun> runs;
};

enum class BaseOffset {
  kDefaultBaseIsMoof,  // tfhd flag: offsets count from the moof
  kExplicit,           // tfhd base_data_offset
  kImplied,            // neither: the moof for the first track fragment, then the data's end
};

struct BuilderFragment {
  BaseOffset base = BaseOffset::kDefaultBaseIsMoof;
  std::vector<BuilderTrackFragment> track_fragments;
};

struct BuilderMovie {
  std::uint32_t movie_timescale = 1000;
  std::vector<BuilderTrack> tracks;
  bool fragmented = true;  // an mvex box
  bool with_user_data = true;
};

// Where a sample's bytes are and when a reader of the fragments decodes it.
struct PlacedSample {
  std::uint32_t track_id = 0;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t duration = 0;
  std::int64_t decode_time = 0;
  std::int32_t composition_offset = 0;
  bool sync = true;
};

// ftyp + moov.
std::vector<std::uint8_t> BuildHeader(const BuilderMovie& movie);

// One moof + mdat that will start at `offset` in the file. Sample data are pseudo-random bytes
// from `seed`. Appends where its samples are to `placed` (decode times are left 0).
std::vector<std::uint8_t> BuildFragment(const BuilderMovie& movie,
                                        const BuilderFragment& fragment,
                                        std::uint64_t offset,
                                        std::uint32_t sequence,
                                        std::vector<PlacedSample>* placed);

// A whole file, with every sample's decode time as a reader of the fragments sees it: the tfdt
// where there is one, else the end of the track's previous sample.
std::vector<std::uint8_t> BuildFile(const BuilderMovie& movie,
                                    const std::vector<BuilderFragment>& fragments,
                                    std::vector<PlacedSample>* placed);

}  // namespace halvex::mp4::testing

#endif  // HALVEX_MP4_TESTING_FRAGMENTED_MP4_BUILDER_H_
