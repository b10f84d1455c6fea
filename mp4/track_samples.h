// The samples of one track gathered from the fragments, in decode order, as compact columns: a
// long recording has tens of thousands of them.
#ifndef HALVEX_MP4_TRACK_SAMPLES_H_
#define HALVEX_MP4_TRACK_SAMPLES_H_

#include <cstdint>
#include <vector>

namespace halvex::mp4 {

// One contiguous run of sample data in the file: a chunk of the plain index.
struct Chunk {
  std::uint64_t offset = 0;
  std::uint32_t sample_count = 0;
  std::uint32_t description_index = 1;
};

struct TrackSamples {
  std::vector<std::uint32_t> sizes;
  std::vector<std::uint32_t> durations;
  std::vector<std::int32_t> composition_offsets;
  std::vector<bool> sync;
  std::vector<Chunk> chunks;
  // Decode time of the first sample and the end of the last, in the track's timescale, as a
  // reader of the fragments saw them.
  bool started = false;
  std::uint64_t first_decode_time = 0;
  std::uint64_t end_decode_time = 0;

  std::size_t count() const { return sizes.size(); }
  std::uint64_t duration() const { return end_decode_time - first_decode_time; }
};

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_TRACK_SAMPLES_H_
