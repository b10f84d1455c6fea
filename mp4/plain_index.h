// Builds the plain header (moov) that indexes every sample the fragments held: the fragmented
// header's own boxes where they still hold, durations filled in, full sample tables, no mvex.
#ifndef HALVEX_MP4_PLAIN_INDEX_H_
#define HALVEX_MP4_PLAIN_INDEX_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mp4/movie_header.h"
#include "mp4/track_samples.h"

namespace halvex::mp4 {

// The last box inside every header this library writes: a 'free' box that says where the
// recording ended before any header was appended and where this header starts. A finishing run
// that was interrupted before the recording's boxes became one mdat leaves it at the end of the
// file; the next run reads it, so that it does not take the appended header for part of a
// recording that was cut off.
struct FinishingNote {
  std::uint64_t recording_end = 0;
  std::uint64_t index_offset = 0;
};
constexpr std::size_t kFinishingNoteSize = 40;
// The note, when the `kFinishingNoteSize` bytes given are one.
bool ParseFinishingNote(const std::uint8_t* bytes, FinishingNote* note);

// `moov_payload` is the fragmented header's payload, already checked by ParseMovieHeader into
// `movie`; `tracks` are its tracks' samples, in the same order. False with a reason when the
// index cannot be written (a table too large for its box).
bool BuildPlainIndex(const std::uint8_t* moov_payload,
                     std::size_t moov_payload_size,
                     const MovieHeader& movie,
                     const std::vector<TrackSamples>& tracks,
                     const FinishingNote& note,
                     std::vector<std::uint8_t>* moov,
                     std::string* reason);

// value × to / from, rounded to nearest or up, saturating.
std::uint64_t RescaleTime(std::uint64_t value, std::uint64_t to, std::uint64_t from, bool round_up);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_PLAIN_INDEX_H_
