#include "mp4/plain_index.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "mp4/box.h"
#include "mp4/box_writer.h"
#include "mp4/byte_reader.h"

namespace halvex::mp4 {
namespace {

constexpr std::uint8_t kNoteMagic[16] = {'h', 'a', 'l', 'v', 'e', 'x', ' ', 'p',
                                         'l', 'a', 'i', 'n', ' ', 'm', 'p', '4'};
constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// How one track is presented once its samples start at decode time 0.
struct TrackPlan {
  std::uint64_t media_duration = 0;  // track timescale
  std::uint64_t track_duration = 0;  // movie timescale
  bool write_edits = false;
  std::vector<EditEntry> edits;
};

TrackPlan PlanTrack(const TrackHeader& track,
                    const TrackSamples& samples,
                    std::uint32_t movie_scale) {
  TrackPlan plan;
  plan.media_duration = samples.duration();
  const std::uint64_t media_scale = track.media_timescale;
  const std::int64_t first = static_cast<std::int64_t>(samples.first_decode_time);
  auto to_movie = [&](std::uint64_t media, bool round_up) {
    return RescaleTime(media, movie_scale, media_scale, round_up);
  };
  if (track.has_edit_list) {
    for (const EditEntry& entry : track.edits) {
      if (entry.media_time < 0) {
        plan.edits.push_back(entry);
        continue;
      }
      EditEntry edit = entry;
      std::int64_t media_time = entry.media_time - first;
      if (media_time < 0) {
        // The edit starts before the first sample: that stretch shows nothing.
        EditEntry empty;
        empty.media_time = -1;
        empty.segment_duration = to_movie(static_cast<std::uint64_t>(-media_time), false);
        plan.edits.push_back(empty);
        edit.segment_duration = edit.segment_duration > empty.segment_duration
                                    ? edit.segment_duration - empty.segment_duration
                                    : 0;
        media_time = 0;
      }
      edit.media_time = media_time;
      if (entry.segment_duration == 0) {
        const std::uint64_t start = static_cast<std::uint64_t>(media_time);
        edit.segment_duration =
            start < plan.media_duration ? to_movie(plan.media_duration - start, true) : 0;
      }
      plan.edits.push_back(edit);
    }
    plan.write_edits = true;
  } else if (first > 0) {
    // The fragments started later than 0: an empty edit keeps that start.
    EditEntry empty;
    empty.media_time = -1;
    empty.segment_duration = to_movie(static_cast<std::uint64_t>(first), false);
    EditEntry whole;
    whole.media_time = 0;
    whole.segment_duration = to_movie(plan.media_duration, true);
    plan.edits = {empty, whole};
    plan.write_edits = true;
  }
  if (plan.write_edits) {
    for (const EditEntry& edit : plan.edits) {
      plan.track_duration += edit.segment_duration;
    }
  } else {
    plan.track_duration = to_movie(plan.media_duration, true);
  }
  return plan;
}

void WriteTimes(BoxWriter& writer, bool wide, std::uint64_t creation, std::uint64_t modification) {
  if (wide) {
    writer.U64(creation);
    writer.U64(modification);
  } else {
    writer.U32(static_cast<std::uint32_t>(creation));
    writer.U32(static_cast<std::uint32_t>(modification));
  }
}

// mvhd or mdhd with a new duration; version 1 only where a field needs 64 bits.
void WriteTimedHeader(BoxWriter& writer,
                      std::uint32_t type,
                      const TimedHeader& header,
                      std::uint64_t duration) {
  const bool wide = header.version == 1 || duration > kMax32 || header.creation_time > kMax32 ||
                    header.modification_time > kMax32;
  writer.Open(type);
  writer.FullBoxHeader(wide ? 1 : 0, header.flags);
  WriteTimes(writer, wide, header.creation_time, header.modification_time);
  writer.U32(header.timescale);
  if (wide) {
    writer.U64(duration);
  } else {
    writer.U32(static_cast<std::uint32_t>(duration));
  }
  writer.Bytes(header.rest, header.rest_size);
  writer.Close();
}

void WriteTrackHeader(BoxWriter& writer, const TrackHeaderBox& header, std::uint64_t duration) {
  const bool wide = header.version == 1 || duration > kMax32 || header.creation_time > kMax32 ||
                    header.modification_time > kMax32;
  writer.Open(FourCc("tkhd"));
  writer.FullBoxHeader(wide ? 1 : 0, header.flags);
  WriteTimes(writer, wide, header.creation_time, header.modification_time);
  writer.U32(header.track_id);
  writer.U32(header.reserved);
  if (wide) {
    writer.U64(duration);
  } else {
    writer.U32(static_cast<std::uint32_t>(duration));
  }
  writer.Bytes(header.rest, header.rest_size);
  writer.Close();
}

void WriteEdits(BoxWriter& writer, const std::vector<EditEntry>& edits) {
  bool wide = false;
  for (const EditEntry& edit : edits) {
    wide = wide || edit.segment_duration > kMax32 ||
           edit.media_time > std::numeric_limits<std::int32_t>::max();
  }
  writer.Open(FourCc("edts"));
  writer.Open(FourCc("elst"));
  writer.FullBoxHeader(wide ? 1 : 0, 0);
  writer.U32(static_cast<std::uint32_t>(edits.size()));
  for (const EditEntry& edit : edits) {
    if (wide) {
      writer.U64(edit.segment_duration);
      writer.U64(static_cast<std::uint64_t>(edit.media_time));
    } else {
      writer.U32(static_cast<std::uint32_t>(edit.segment_duration));
      writer.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(edit.media_time)));
    }
    writer.U16(static_cast<std::uint16_t>(edit.rate_integer));
    writer.U16(static_cast<std::uint16_t>(edit.rate_fraction));
  }
  writer.Close();
  writer.Close();
}

// Run-length table of (count, value) pairs: stts and ctts.
template <typename Value>
void WriteRuns(BoxWriter& writer, const std::vector<Value>& values) {
  const std::size_t count_at = writer.size();
  writer.U32(0);
  std::uint32_t entries = 0;
  std::size_t i = 0;
  while (i < values.size()) {
    std::size_t j = i + 1;
    while (j < values.size() && values[j] == values[i]) {
      ++j;
    }
    writer.U32(static_cast<std::uint32_t>(j - i));
    writer.U32(static_cast<std::uint32_t>(values[i]));
    ++entries;
    i = j;
  }
  std::vector<std::uint8_t>& bytes = writer.bytes();
  for (int k = 0; k < 4; ++k) {
    bytes[count_at + static_cast<std::size_t>(k)] =
        static_cast<std::uint8_t>(entries >> (24 - 8 * k));
  }
}

bool WriteSampleTables(BoxWriter& writer, const TrackSamples& samples) {
  writer.Open(FourCc("stts"));
  writer.FullBoxHeader(0, 0);
  WriteRuns(writer, samples.durations);
  if (!writer.Close()) {
    return false;
  }

  bool any_offset = false;
  bool negative_offset = false;
  for (std::int32_t offset : samples.composition_offsets) {
    any_offset = any_offset || offset != 0;
    negative_offset = negative_offset || offset < 0;
  }
  if (any_offset) {
    writer.Open(FourCc("ctts"));
    writer.FullBoxHeader(negative_offset ? 1 : 0, 0);
    WriteRuns(writer, samples.composition_offsets);
    if (!writer.Close()) {
      return false;
    }
  }

  std::size_t sync_count = 0;
  for (bool sync : samples.sync) {
    sync_count += sync ? 1 : 0;
  }
  if (sync_count != samples.count()) {
    writer.Open(FourCc("stss"));
    writer.FullBoxHeader(0, 0);
    writer.U32(static_cast<std::uint32_t>(sync_count));
    for (std::size_t i = 0; i < samples.count(); ++i) {
      if (samples.sync[i]) {
        writer.U32(static_cast<std::uint32_t>(i + 1));
      }
    }
    if (!writer.Close()) {
      return false;
    }
  }

  bool same_size = !samples.sizes.empty();
  for (std::uint32_t size : samples.sizes) {
    same_size = same_size && size == samples.sizes.front();
  }
  writer.Open(FourCc("stsz"));
  writer.FullBoxHeader(0, 0);
  writer.U32(same_size ? samples.sizes.front() : 0);
  writer.U32(static_cast<std::uint32_t>(samples.count()));
  if (!same_size) {
    for (std::uint32_t size : samples.sizes) {
      writer.U32(size);
    }
  }
  if (!writer.Close()) {
    return false;
  }

  writer.Open(FourCc("stsc"));
  writer.FullBoxHeader(0, 0);
  const std::size_t count_at = writer.size();
  writer.U32(0);
  std::uint32_t entries = 0;
  for (std::size_t i = 0; i < samples.chunks.size(); ++i) {
    const Chunk& chunk = samples.chunks[i];
    if (i > 0 && chunk.sample_count == samples.chunks[i - 1].sample_count &&
        chunk.description_index == samples.chunks[i - 1].description_index) {
      continue;
    }
    writer.U32(static_cast<std::uint32_t>(i + 1));
    writer.U32(chunk.sample_count);
    writer.U32(chunk.description_index);
    ++entries;
  }
  for (int k = 0; k < 4; ++k) {
    writer.bytes()[count_at + static_cast<std::size_t>(k)] =
        static_cast<std::uint8_t>(entries >> (24 - 8 * k));
  }
  if (!writer.Close()) {
    return false;
  }

  bool wide = false;
  for (const Chunk& chunk : samples.chunks) {
    wide = wide || chunk.offset > kMax32;
  }
  writer.Open(FourCc(wide ? "co64" : "stco"));
  writer.FullBoxHeader(0, 0);
  writer.U32(static_cast<std::uint32_t>(samples.chunks.size()));
  for (const Chunk& chunk : samples.chunks) {
    if (wide) {
      writer.U64(chunk.offset);
    } else {
      writer.U32(static_cast<std::uint32_t>(chunk.offset));
    }
  }
  return writer.Close();
}

// A box kept as the fragmented header had it, under a header of its own: a size of 0 ("to the end
// of the parent") or a 64-bit size would mean something else in its new place.
void CopyBox(BoxWriter& writer, const ChildBox& box) {
  writer.Open(box.type);
  writer.Bytes(box.payload, box.payload_size);
  writer.Close();
}

bool Children(const ChildBox& box, std::vector<ChildBox>* children) {
  return ReadChildBoxes(box.payload, box.payload_size, children);
}

bool WriteSampleTableBox(BoxWriter& writer, const ChildBox& stbl, const TrackSamples& samples) {
  std::vector<ChildBox> children;
  if (!Children(stbl, &children)) {
    return false;
  }
  writer.Open(FourCc("stbl"));
  const ChildBox* stsd = FindChild(children, FourCc("stsd"));
  CopyBox(writer, *stsd);
  return WriteSampleTables(writer, samples) && writer.Close();
}

bool WriteMediaInformation(BoxWriter& writer, const ChildBox& minf, const TrackSamples& samples) {
  std::vector<ChildBox> children;
  if (!Children(minf, &children)) {
    return false;
  }
  writer.Open(FourCc("minf"));
  for (const ChildBox& child : children) {
    if (child.type == FourCc("stbl")) {
      if (!WriteSampleTableBox(writer, child, samples)) {
        return false;
      }
    } else {
      CopyBox(writer, child);
    }
  }
  return writer.Close();
}

bool WriteMedia(BoxWriter& writer,
                const ChildBox& mdia,
                const TrackSamples& samples,
                const TrackPlan& plan) {
  std::vector<ChildBox> children;
  if (!Children(mdia, &children)) {
    return false;
  }
  writer.Open(FourCc("mdia"));
  for (const ChildBox& child : children) {
    if (child.type == FourCc("mdhd")) {
      TimedHeader header;
      ParseTimedHeader(child.payload, child.payload_size, &header);
      WriteTimedHeader(writer, child.type, header, plan.media_duration);
    } else if (child.type == FourCc("minf")) {
      if (!WriteMediaInformation(writer, child, samples)) {
        return false;
      }
    } else {
      CopyBox(writer, child);
    }
  }
  return writer.Close();
}

bool WriteTrack(BoxWriter& writer,
                const ChildBox& trak,
                const TrackSamples& samples,
                const TrackPlan& plan) {
  std::vector<ChildBox> children;
  if (!Children(trak, &children)) {
    return false;
  }
  writer.Open(FourCc("trak"));
  for (const ChildBox& child : children) {
    if (child.type == FourCc("tkhd")) {
      TrackHeaderBox header;
      ParseTrackHeaderBox(child.payload, child.payload_size, &header);
      WriteTrackHeader(writer, header, plan.track_duration);
      // Edit lists follow the track header.
      if (plan.write_edits) {
        WriteEdits(writer, plan.edits);
      }
    } else if (child.type == FourCc("edts")) {
      continue;  // written after tkhd, from the plan
    } else if (child.type == FourCc("mdia")) {
      if (!WriteMedia(writer, child, samples, plan)) {
        return false;
      }
    } else {
      CopyBox(writer, child);
    }
  }
  return writer.Close();
}

void WriteNote(BoxWriter& writer, const FinishingNote& note) {
  writer.Open(FourCc("free"));
  writer.Bytes(kNoteMagic, sizeof(kNoteMagic));
  writer.U64(note.recording_end);
  writer.U64(note.index_offset);
  writer.Close();
}

}  // namespace

std::uint64_t RescaleTime(std::uint64_t value,
                          std::uint64_t to,
                          std::uint64_t from,
                          bool round_up) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t whole = value / from;
  const std::uint64_t part = value % from;
  if (to != 0 && whole > kMax / to) {
    return kMax;
  }
  // part < from <= 2^32 and to <= 2^32: the product fits.
  const std::uint64_t scaled = part * to;
  std::uint64_t fraction = scaled / from;
  const std::uint64_t remainder = scaled % from;
  if (round_up ? remainder != 0 : remainder * 2 >= from) {
    ++fraction;
  }
  const std::uint64_t head = whole * to;
  return head > kMax - fraction ? kMax : head + fraction;
}

bool ParseFinishingNote(const std::uint8_t* bytes, FinishingNote* note) {
  ByteReader reader(bytes, kFinishingNoteSize);
  if (reader.U32() != kFinishingNoteSize || reader.U32() != FourCc("free") ||
      std::memcmp(reader.current(), kNoteMagic, sizeof(kNoteMagic)) != 0) {
    return false;
  }
  reader.Skip(sizeof(kNoteMagic));
  note->recording_end = reader.U64();
  note->index_offset = reader.U64();
  return reader.ok();
}

bool BuildPlainIndex(const std::uint8_t* moov_payload,
                     std::size_t moov_payload_size,
                     const MovieHeader& movie,
                     const std::vector<TrackSamples>& tracks,
                     const FinishingNote& note,
                     std::vector<std::uint8_t>* moov,
                     std::string* reason) {
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(moov_payload, moov_payload_size, &children) ||
      tracks.size() != movie.tracks.size()) {
    *reason = "malformed moov box";
    return false;
  }
  std::vector<TrackPlan> plans;
  std::uint64_t movie_duration = 0;
  for (std::size_t i = 0; i < movie.tracks.size(); ++i) {
    plans.push_back(PlanTrack(movie.tracks[i], tracks[i], movie.movie_timescale));
    movie_duration = std::max(movie_duration, plans.back().track_duration);
  }
  BoxWriter writer;
  writer.Open(FourCc("moov"));
  std::size_t track = 0;
  for (const ChildBox& child : children) {
    if (child.type == FourCc("mvhd")) {
      TimedHeader header;
      ParseTimedHeader(child.payload, child.payload_size, &header);
      WriteTimedHeader(writer, child.type, header, movie_duration);
    } else if (child.type == FourCc("trak")) {
      if (!WriteTrack(writer, child, tracks[track], plans[track])) {
        *reason = "malformed trak box";
        return false;
      }
      ++track;
    } else if (child.type == FourCc("mvex")) {
      continue;  // fragments are gone
    } else {
      CopyBox(writer, child);
    }
  }
  WriteNote(writer, note);
  if (!writer.Close()) {
    *reason = "the index would be larger than 4 GiB";
    return false;
  }
  *moov = std::move(writer.bytes());
  return true;
}

}  // namespace halvex::mp4
