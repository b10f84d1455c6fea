// What the finisher needs from the header box (moov) of a recording: its tracks, their edit lists,
// their sample defaults for fragments, and whether the header already indexes its samples.
#ifndef HALVEX_MP4_MOVIE_HEADER_H_
#define HALVEX_MP4_MOVIE_HEADER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::mp4 {

struct EditEntry {
  std::uint64_t segment_duration = 0;  // in the movie's timescale; 0 in a fragmented file: "all"
  std::int64_t media_time = 0;         // in the track's timescale; -1 for an empty edit
  std::int16_t rate_integer = 1;
  std::int16_t rate_fraction = 0;
};

// Values a fragment's samples take where neither the run nor the fragment gives them.
struct SampleDefaults {
  std::uint32_t description_index = 1;
  std::uint32_t duration = 0;
  std::uint32_t size = 0;
  std::uint32_t flags = 0;
};

struct TrackHeader {
  std::uint32_t track_id = 0;
  std::uint32_t handler = 0;  // 'vide', 'soun', ...
  std::uint32_t codec = 0;    // the first sample description's type
  std::uint32_t description_count = 0;
  std::uint32_t media_timescale = 0;
  bool has_edit_list = false;
  std::vector<EditEntry> edits;
  bool has_defaults = false;  // a trex box named this track
  SampleDefaults defaults;
  // What the header's own sample tables hold (a plain file's index).
  std::uint64_t indexed_samples = 0;
  std::uint64_t media_duration = 0;  // as the media header says
};

struct MovieHeader {
  std::uint32_t movie_timescale = 0;
  bool fragmented = false;  // has an mvex box
  std::vector<TrackHeader> tracks;
};

// Parses the payload of a moov box. False with a short reason for anything the finisher cannot
// rebuild: a missing or malformed mvhd, tkhd, mdhd, hdlr or stsd, a zero timescale, a repeated or
// zero track ID, defaults for a track that does not exist.
bool ParseMovieHeader(const std::uint8_t* payload,
                      std::size_t size,
                      MovieHeader* movie,
                      std::string* reason);

// Version, creation and modification times, timescale and duration of an mvhd or mdhd payload,
// and the bytes that follow them, which the finisher copies as they are.
struct TimedHeader {
  std::uint8_t version = 0;
  std::uint32_t flags = 0;
  std::uint64_t creation_time = 0;
  std::uint64_t modification_time = 0;
  std::uint32_t timescale = 0;
  std::uint64_t duration = 0;
  const std::uint8_t* rest = nullptr;
  std::size_t rest_size = 0;
};
bool ParseTimedHeader(const std::uint8_t* payload, std::size_t size, TimedHeader* header);

// The same for a tkhd payload, whose track ID sits where the others have their timescale.
struct TrackHeaderBox {
  std::uint8_t version = 0;
  std::uint32_t flags = 0;
  std::uint64_t creation_time = 0;
  std::uint64_t modification_time = 0;
  std::uint32_t track_id = 0;
  std::uint32_t reserved = 0;
  std::uint64_t duration = 0;
  const std::uint8_t* rest = nullptr;
  std::size_t rest_size = 0;
};
bool ParseTrackHeaderBox(const std::uint8_t* payload, std::size_t size, TrackHeaderBox* header);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_MOVIE_HEADER_H_
