// halvex_mp4: turns a fragmented MP4 recording into a plain MP4, in place.
//
// While it records, the recorder writes a fragmented MP4 (a header without samples, then one
// moof + mdat pair per stretch of video), so that a killed process still leaves a playable file.
// Players that cannot seek in fragments need a plain file: one index (moov) of every sample.
// FinishRecording builds that index from the fragments and writes it without moving any media:
//
//   1. The new moov (durations filled in, full sample tables, the header's descriptions, handlers,
//      edit lists and user data kept) is appended at the end of the file; existing bytes are
//      never overwritten, so a cut-off box at the end stays where it is. Then the file is flushed.
//      Readers ignore a second moov after the fragments: the file still plays as before.
//   2. An mdat header is written over the start of everything between ftyp and the new moov, and
//      the file is flushed again. Readers now see ftyp, one mdat, moov.
//
// Each step leaves a playable file; a run interrupted anywhere can be repeated. A fragment cut
// off by the end of the file (a killed recording) is dropped with everything after it; anything
// else that does not add up is refused without touching the file. Input is never trusted: every
// size is checked, and work and memory are bounded by the file's size.
//
// The library works on plain bytes through RandomAccessFile and knows no system's types; the
// recorder and the command-line tool share it. It never prints and never throws.
#ifndef HALVEX_MP4_FINISH_RECORDING_H_
#define HALVEX_MP4_FINISH_RECORDING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "mp4/random_access_file.h"

namespace halvex::mp4 {

enum class FinishStatus {
  kFinished,      // FinishRecording made the file plain
  kFragmented,    // InspectRecording: a fragmented recording that FinishRecording would finish
  kAlreadyPlain,  // nothing to do; the file was not touched
  kNotMp4,        // the file does not start with an ftyp box
  kDamaged,       // the boxes do not add up (see reason); the file was not touched
  kReadFailed,    // reading failed (or memory ran out); the file was not touched
  kWriteFailed,   // a write or flush failed; the file is as before that write, still playable
};

// A short lowercase name: "finished", "already plain", "damaged", ...
const char* FinishStatusName(FinishStatus status);

enum class TrackKind { kVideo, kAudio, kOther };

struct TrackReport {
  std::uint32_t track_id = 0;
  TrackKind kind = TrackKind::kOther;  // by the track's handler
  std::string codec;                   // the sample description's four characters, e.g. "avc1"
  std::uint64_t samples = 0;
  double duration_seconds = 0;
};

struct FinishReport {
  FinishStatus status = FinishStatus::kReadFailed;
  std::string reason;  // why, for kNotMp4, kDamaged, kReadFailed and kWriteFailed
  std::vector<TrackReport> tracks;
  double duration_seconds = 0;  // of the longest track
  std::uint32_t fragments_used = 0;
  std::uint32_t fragments_dropped = 0;  // cut off by the end of the file
};

// Reads the recording and reports what FinishRecording would find; writes nothing.
FinishReport InspectRecording(RandomAccessFile& file);

// Makes a fragmented recording plain, in place, as described above.
FinishReport FinishRecording(RandomAccessFile& file);

}  // namespace halvex::mp4

#endif  // HALVEX_MP4_FINISH_RECORDING_H_
