// Reads a recording's top-level boxes, its header and every fragment: everything the finisher
// decides on, before it writes anything.
#ifndef HALVEX_MP4_RECORDING_SCAN_H_
#define HALVEX_MP4_RECORDING_SCAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mp4/finish_recording.h"
#include "mp4/movie_header.h"
#include "mp4/random_access_file.h"
#include "mp4/track_samples.h"

namespace halvex::mp4 {

struct RecordingScan {
  FinishStatus status = FinishStatus::kReadFailed;  // kFragmented when it can be finished
  std::string reason;
  MovieHeader movie;
  std::vector<std::uint8_t> moov_payload;  // the first moov's
  std::vector<TrackSamples> samples;       // per movie track
  std::uint64_t file_size = 0;
  std::uint64_t ftyp_end = 0;
  // Where the recording ends: the file's end, or where an interrupted finishing run found it.
  std::uint64_t recording_end = 0;
  std::uint32_t mdat_header_size = 8;  // for the mdat from ftyp_end to file_size
  std::uint32_t fragments_used = 0;
  std::uint32_t fragments_dropped = 0;
};

// Never throws except std::bad_alloc.
RecordingScan ScanRecording(RandomAccessFile& file);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_RECORDING_SCAN_H_
