#include "mp4/finish_recording.h"

#include <algorithm>
#include <new>

#include "mp4/box.h"
#include "mp4/box_writer.h"
#include "mp4/plain_index.h"
#include "mp4/recording_scan.h"

namespace halvex::mp4 {
namespace {

TrackKind KindOf(std::uint32_t handler) {
  if (handler == FourCc("vide")) {
    return TrackKind::kVideo;
  }
  if (handler == FourCc("soun")) {
    return TrackKind::kAudio;
  }
  return TrackKind::kOther;
}

FinishReport ReportOf(const RecordingScan& scan) {
  FinishReport report;
  report.status = scan.status;
  report.reason = scan.reason;
  report.fragments_used = scan.fragments_used;
  report.fragments_dropped = scan.fragments_dropped;
  if (scan.status != FinishStatus::kFragmented && scan.status != FinishStatus::kAlreadyPlain) {
    return report;
  }
  const bool fragmented = scan.status == FinishStatus::kFragmented;
  for (std::size_t i = 0; i < scan.movie.tracks.size(); ++i) {
    const TrackHeader& track = scan.movie.tracks[i];
    TrackReport entry;
    entry.track_id = track.track_id;
    entry.kind = KindOf(track.handler);
    entry.codec = FourCcText(track.codec);
    entry.samples = fragmented ? scan.samples[i].count() : track.indexed_samples;
    const std::uint64_t duration = fragmented ? scan.samples[i].duration() : track.media_duration;
    entry.duration_seconds = static_cast<double>(duration) / track.media_timescale;
    report.duration_seconds = std::max(report.duration_seconds, entry.duration_seconds);
    report.tracks.push_back(entry);
  }
  return report;
}

FinishReport WriteFailed(FinishReport report, const std::string& reason) {
  report.status = FinishStatus::kWriteFailed;
  report.reason = reason;
  return report;
}

FinishReport Finish(RandomAccessFile& file, bool* writing) {
  const RecordingScan scan = ScanRecording(file);
  FinishReport report = ReportOf(scan);
  if (scan.status != FinishStatus::kFragmented) {
    return report;
  }
  FinishingNote note;
  note.recording_end = scan.recording_end;
  note.index_offset = scan.file_size;
  std::vector<std::uint8_t> moov;
  if (!BuildPlainIndex(scan.moov_payload.data(), scan.moov_payload.size(), scan.movie, scan.samples,
                       note, &moov, &report.reason)) {
    report.status = FinishStatus::kDamaged;
    return report;
  }
  BoxWriter mdat;
  const std::uint64_t region = scan.file_size - scan.ftyp_end;
  if (scan.mdat_header_size == 16) {
    mdat.U32(1);
    mdat.U32(FourCc("mdat"));
    mdat.U64(region);
  } else {
    mdat.U32(static_cast<std::uint32_t>(region));
    mdat.U32(FourCc("mdat"));
  }

  // Appended, never over the recording: until the mdat header is in place, readers still see
  // the fragments.
  *writing = true;
  if (!file.WriteAt(scan.file_size, moov.data(), moov.size())) {
    return WriteFailed(report, "cannot append the new index");
  }
  if (!file.Flush()) {
    return WriteFailed(report, "cannot flush the new index to disk");
  }
  if (!file.WriteAt(scan.ftyp_end, mdat.bytes().data(), mdat.bytes().size())) {
    return WriteFailed(report, "cannot write the mdat header");
  }
  if (!file.Flush()) {
    return WriteFailed(report, "cannot flush the mdat header to disk");
  }
  report.status = FinishStatus::kFinished;
  return report;
}

FinishReport Failure(FinishStatus status, const std::string& reason) {
  FinishReport report;
  report.status = status;
  report.reason = reason;
  return report;
}

}  // namespace

const char* FinishStatusName(FinishStatus status) {
  switch (status) {
    case FinishStatus::kFinished:
      return "finished";
    case FinishStatus::kFragmented:
      return "fragmented";
    case FinishStatus::kAlreadyPlain:
      return "already plain";
    case FinishStatus::kNotMp4:
      return "not an MP4";
    case FinishStatus::kDamaged:
      return "damaged";
    case FinishStatus::kReadFailed:
      return "read failed";
    case FinishStatus::kWriteFailed:
      return "write failed";
  }
  return "unknown";
}

FinishReport InspectRecording(RandomAccessFile& file) {
  try {
    return ReportOf(ScanRecording(file));
  } catch (const std::bad_alloc&) {
    return Failure(FinishStatus::kReadFailed, "not enough memory to read the recording");
  } catch (...) {
    return Failure(FinishStatus::kReadFailed, "reading the recording failed");
  }
}

FinishReport FinishRecording(RandomAccessFile& file) {
  // Memory runs out, if at all, while reading and building, before anything is written. A file
  // that throws instead of failing a call is reported by the step it was in.
  bool writing = false;
  try {
    return Finish(file, &writing);
  } catch (const std::bad_alloc&) {
    return Failure(writing ? FinishStatus::kWriteFailed : FinishStatus::kReadFailed,
                   "not enough memory to finish the recording");
  } catch (...) {
    return Failure(writing ? FinishStatus::kWriteFailed : FinishStatus::kReadFailed,
                   "the file failed while finishing the recording");
  }
}

}  // namespace halvex::mp4
