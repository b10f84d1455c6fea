// One movie fragment (moof): its track runs resolved to file offsets and per-sample values, ready
// to be added to the tracks' samples once the whole fragment has been found sound.
#ifndef HALVEX_MP4_FRAGMENT_H_
#define HALVEX_MP4_FRAGMENT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mp4/movie_header.h"
#include "mp4/track_samples.h"

namespace halvex::mp4 {

struct FragmentSample {
  std::uint32_t size = 0;
  std::uint32_t duration = 0;
  std::int32_t composition_offset = 0;
  bool sync = true;
};

struct FragmentRun {
  std::size_t track = 0;  // index in MovieHeader::tracks
  bool starts_track_fragment = false;
  bool has_decode_time = false;  // the track fragment's tfdt, on its first run
  std::uint64_t decode_time = 0;
  std::uint64_t data_offset = 0;
  std::uint64_t data_size = 0;
  std::uint32_t description_index = 1;
  std::vector<FragmentSample> samples;
};

enum class FragmentResult {
  kOk,
  kDataOutsideFile,  // sample data reaches past the end of the file: a cut-off recording
  kDamaged,
};

// Where sample data may lie: not before `data_begin` (the file's own boxes) and not past
// `data_end` (the end of the recording).
struct DataBounds {
  std::uint64_t data_begin = 0;
  std::uint64_t data_end = 0;
};

// Parses the payload of the moof box that starts at `moof_offset`. `sample_budget` is how many
// more samples the file may still hold; runs claiming more are damaged.
FragmentResult ParseFragment(const std::uint8_t* payload,
                             std::size_t size,
                             std::uint64_t moof_offset,
                             const MovieHeader& movie,
                             const DataBounds& bounds,
                             std::uint64_t sample_budget,
                             std::vector<FragmentRun>* runs,
                             std::string* reason);

// Adds a sound fragment's runs to the tracks. A gap or overlap between one track fragment's
// decode time and the end of the previous one is absorbed by the previous sample's duration, so
// that every later sample keeps the time the fragments gave it. False (damaged) if the decode time
// goes back before the previous sample or the gap does not fit in one sample's duration.
bool AddFragment(const std::vector<FragmentRun>& runs,
                 const MovieHeader& movie,
                 std::vector<TrackSamples>* tracks,
                 std::string* reason);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_FRAGMENT_H_
