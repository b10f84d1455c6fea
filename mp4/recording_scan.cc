#include "mp4/recording_scan.h"

#include <algorithm>

#include "mp4/box.h"
#include "mp4/fragment.h"
#include "mp4/plain_index.h"

namespace halvex::mp4 {
namespace {

// A recording's header and each fragment's header are small; these bound the memory one box may
// take, whatever its size field claims.
constexpr std::uint64_t kMaxMovieBoxSize = 256ull << 20;
constexpr std::uint64_t kMaxFragmentBoxSize = 64ull << 20;
// Far above a day of recording; keeps the index below its 4 GiB limit.
constexpr std::uint64_t kMaxSamples = 1ull << 25;

enum class ReadResult { kOk, kEnd, kTruncated, kInvalid, kFailed };

ReadResult ReadHeaderAt(RandomAccessFile& file,
                        std::uint64_t offset,
                        std::uint64_t limit,
                        BoxHeader* header) {
  if (offset >= limit || limit - offset < 8) {
    return ReadResult::kEnd;
  }
  std::uint8_t bytes[kMaxBoxHeaderSize];
  const std::size_t available =
      static_cast<std::size_t>(std::min<std::uint64_t>(kMaxBoxHeaderSize, limit - offset));
  if (!file.ReadAt(offset, bytes, available)) {
    return ReadResult::kFailed;
  }
  switch (ParseBoxHeader(bytes, available, offset, limit, header)) {
    case BoxHeaderResult::kOk:
      return ReadResult::kOk;
    case BoxHeaderResult::kTruncated:
      return ReadResult::kTruncated;
    case BoxHeaderResult::kInvalid:
      return ReadResult::kInvalid;
  }
  return ReadResult::kInvalid;
}

bool ReadPayload(RandomAccessFile& file,
                 const BoxHeader& header,
                 std::vector<std::uint8_t>* bytes) {
  bytes->resize(static_cast<std::size_t>(header.payload_size()));
  return bytes->empty() || file.ReadAt(header.payload_offset(), bytes->data(), bytes->size());
}

RecordingScan& Finish(RecordingScan& scan, FinishStatus status, const std::string& reason) {
  scan.status = status;
  scan.reason = reason;
  return scan;
}

std::string At(std::uint64_t offset) {
  return " at offset " + std::to_string(offset);
}

// An earlier run that appended its index but was interrupted before the mdat header left its note
// at the very end; the recording itself ends where the note says. False when the end cannot be
// read: guessing there is no note could take that earlier index for the recording's last part.
bool RecordingEnd(RandomAccessFile& file, const RecordingScan& scan, std::uint64_t* end) {
  *end = scan.file_size;
  if (scan.file_size < scan.ftyp_end + kFinishingNoteSize) {
    return true;
  }
  std::uint8_t bytes[kFinishingNoteSize];
  if (!file.ReadAt(scan.file_size - kFinishingNoteSize, bytes, sizeof(bytes))) {
    return false;
  }
  FinishingNote note;
  if (!ParseFinishingNote(bytes, &note) || note.index_offset < scan.ftyp_end ||
      note.recording_end > note.index_offset || note.index_offset >= scan.file_size) {
    return true;
  }
  BoxHeader header;
  const ReadResult result = ReadHeaderAt(file, note.index_offset, scan.file_size, &header);
  if (result == ReadResult::kFailed) {
    return false;
  }
  if (result != ReadResult::kOk || header.type != FourCc("moov") ||
      header.end() != scan.file_size) {
    return true;
  }
  *end = note.recording_end;
  return true;
}

}  // namespace

RecordingScan ScanRecording(RandomAccessFile& file) {
  RecordingScan scan;
  if (!file.Size(&scan.file_size)) {
    return Finish(scan, FinishStatus::kReadFailed, "cannot read the file's size");
  }
  BoxHeader header;
  ReadResult result = ReadHeaderAt(file, 0, scan.file_size, &header);
  if (result == ReadResult::kFailed) {
    return Finish(scan, FinishStatus::kReadFailed, "cannot read the file");
  }
  if (result != ReadResult::kOk || header.type != FourCc("ftyp")) {
    return Finish(scan, FinishStatus::kNotMp4, "no ftyp box at the start");
  }
  scan.ftyp_end = header.end();

  // The first moov; whatever comes before it is skipped.
  std::uint64_t offset = scan.ftyp_end;
  for (;;) {
    result = ReadHeaderAt(file, offset, scan.file_size, &header);
    if (result == ReadResult::kFailed) {
      return Finish(scan, FinishStatus::kReadFailed, "cannot read the file" + At(offset));
    }
    if (result == ReadResult::kInvalid) {
      return Finish(scan, FinishStatus::kDamaged, "a box with an impossible size" + At(offset));
    }
    if (result != ReadResult::kOk) {
      return Finish(scan, FinishStatus::kDamaged, "no complete moov box");
    }
    if (header.type == FourCc("moov")) {
      break;
    }
    offset = header.end();
  }
  if (header.payload_size() > kMaxMovieBoxSize) {
    return Finish(scan, FinishStatus::kDamaged, "a moov box too large to be a recording's");
  }
  if (!ReadPayload(file, header, &scan.moov_payload)) {
    return Finish(scan, FinishStatus::kReadFailed, "cannot read the moov box");
  }
  if (!ParseMovieHeader(scan.moov_payload.data(), scan.moov_payload.size(), &scan.movie,
                        &scan.reason)) {
    return Finish(scan, FinishStatus::kDamaged, scan.reason);
  }
  if (!scan.movie.fragmented) {
    return Finish(scan, FinishStatus::kAlreadyPlain, "");
  }
  if (scan.movie.tracks.empty()) {
    return Finish(scan, FinishStatus::kDamaged, "a header without tracks");
  }
  // Samples indexed by the fragmented header itself would be lost with it: refuse such a layout
  // rather than drop them.
  for (const TrackHeader& track : scan.movie.tracks) {
    if (track.indexed_samples > 0) {
      return Finish(scan, FinishStatus::kDamaged,
                    "the fragmented header already indexes samples of track " +
                        std::to_string(track.track_id));
    }
  }

  if (!RecordingEnd(file, scan, &scan.recording_end)) {
    return Finish(scan, FinishStatus::kReadFailed, "cannot read the end of the file");
  }
  scan.mdat_header_size = scan.file_size - scan.ftyp_end > 0xffffffffull ? 16 : 8;
  DataBounds bounds;
  bounds.data_begin = scan.ftyp_end + scan.mdat_header_size;
  bounds.data_end = scan.recording_end;
  std::uint64_t sample_budget = std::min(kMaxSamples, scan.file_size);
  scan.samples.resize(scan.movie.tracks.size());

  // The fragments. One whose data runs past the end must be the last: then it is dropped.
  bool cut_off = false;
  std::vector<std::uint8_t> moof;
  std::vector<FragmentRun> runs;
  offset = header.end();
  for (;;) {
    result = ReadHeaderAt(file, offset, scan.recording_end, &header);
    if (result == ReadResult::kFailed) {
      return Finish(scan, FinishStatus::kReadFailed, "cannot read the file" + At(offset));
    }
    if (result == ReadResult::kInvalid) {
      return Finish(scan, FinishStatus::kDamaged, "a box with an impossible size" + At(offset));
    }
    if (result != ReadResult::kOk) {
      // The end, perhaps with a box cut off by it.
      if (result == ReadResult::kTruncated && header.type == FourCc("moof")) {
        ++scan.fragments_dropped;
      }
      break;
    }
    if (header.type == FourCc("moof")) {
      if (cut_off) {
        return Finish(scan, FinishStatus::kDamaged,
                      "sample data outside the file before the fragment" + At(offset));
      }
      if (header.payload_size() > kMaxFragmentBoxSize) {
        return Finish(scan, FinishStatus::kDamaged, "a moof box too large" + At(offset));
      }
      if (!ReadPayload(file, header, &moof)) {
        return Finish(scan, FinishStatus::kReadFailed, "cannot read the moof box" + At(offset));
      }
      std::string reason;
      switch (ParseFragment(moof.data(), moof.size(), header.offset, scan.movie, bounds,
                            sample_budget, &runs, &reason)) {
        case FragmentResult::kDamaged:
          return Finish(scan, FinishStatus::kDamaged, reason + " (moof" + At(offset) + ")");
        case FragmentResult::kDataOutsideFile:
          cut_off = true;
          ++scan.fragments_dropped;
          break;
        case FragmentResult::kOk:
          for (const FragmentRun& run : runs) {
            sample_budget -= run.samples.size();
          }
          if (!AddFragment(runs, scan.movie, &scan.samples, &reason)) {
            return Finish(scan, FinishStatus::kDamaged, reason + " (moof" + At(offset) + ")");
          }
          ++scan.fragments_used;
          break;
      }
    }
    offset = header.end();
  }
  if (scan.fragments_used == 0) {
    return Finish(scan, FinishStatus::kDamaged, "no complete fragment to keep");
  }
  return Finish(scan, FinishStatus::kFragmented, "");
}

}  // namespace halvex::mp4
