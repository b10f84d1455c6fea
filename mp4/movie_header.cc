#include "mp4/movie_header.h"

#include <algorithm>
#include <limits>
#include <set>

#include "mp4/box.h"
#include "mp4/byte_reader.h"

namespace halvex::mp4 {
namespace {

bool Fail(std::string* reason, const std::string& text) {
  *reason = text;
  return false;
}

std::string TrackName(std::uint32_t track_id) {
  return "track " + std::to_string(track_id);
}

bool ParseEditList(const ChildBox& elst, std::vector<EditEntry>* edits) {
  ByteReader reader(elst.payload, elst.payload_size);
  const std::uint8_t version = reader.U8();
  reader.Skip(3);
  const std::uint32_t count = reader.U32();
  const std::size_t entry_size = version == 1 ? 20 : 12;
  if (!reader.ok() || version > 1 || count > reader.remaining() / entry_size) {
    return false;
  }
  edits->clear();
  for (std::uint32_t i = 0; i < count; ++i) {
    EditEntry entry;
    if (version == 1) {
      entry.segment_duration = reader.U64();
      entry.media_time = reader.S64();
    } else {
      entry.segment_duration = reader.U32();
      entry.media_time = reader.S32();
    }
    entry.rate_integer = static_cast<std::int16_t>(reader.U16());
    entry.rate_fraction = static_cast<std::int16_t>(reader.U16());
    edits->push_back(entry);
  }
  return reader.ok();
}

// Sample count of a plain file's stsz or stz2.
std::uint64_t IndexedSamples(const std::vector<ChildBox>& stbl_children) {
  if (const ChildBox* stsz = FindChild(stbl_children, FourCc("stsz"))) {
    ByteReader reader(stsz->payload, stsz->payload_size);
    reader.Skip(8);
    const std::uint32_t count = reader.U32();
    return reader.ok() ? count : 0;
  }
  if (const ChildBox* stz2 = FindChild(stbl_children, FourCc("stz2"))) {
    ByteReader reader(stz2->payload, stz2->payload_size);
    reader.Skip(8);
    const std::uint32_t count = reader.U32();
    return reader.ok() ? count : 0;
  }
  return 0;
}

bool ParseSampleTable(const ChildBox& stbl, TrackHeader* track, std::string* reason) {
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(stbl.payload, stbl.payload_size, &children)) {
    return Fail(reason, TrackName(track->track_id) + ": malformed stbl box");
  }
  const ChildBox* stsd = FindChild(children, FourCc("stsd"));
  if (stsd == nullptr) {
    return Fail(reason, TrackName(track->track_id) + ": no sample description (stsd)");
  }
  ByteReader reader(stsd->payload, stsd->payload_size);
  reader.Skip(4);
  const std::uint32_t declared = reader.U32();
  std::vector<ChildBox> entries;
  if (!reader.ok() || declared == 0 ||
      !ReadChildBoxes(reader.current(), reader.remaining(), &entries) || entries.empty()) {
    return Fail(reason, TrackName(track->track_id) + ": malformed sample description (stsd)");
  }
  track->codec = entries.front().type;
  track->description_count =
      static_cast<std::uint32_t>(std::min<std::size_t>(declared, entries.size()));
  track->indexed_samples = IndexedSamples(children);
  return true;
}

bool ParseTrack(const ChildBox& trak, TrackHeader* track, std::string* reason) {
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(trak.payload, trak.payload_size, &children)) {
    return Fail(reason, "malformed trak box");
  }
  const ChildBox* tkhd = FindChild(children, FourCc("tkhd"));
  TrackHeaderBox track_header;
  if (tkhd == nullptr || !ParseTrackHeaderBox(tkhd->payload, tkhd->payload_size, &track_header)) {
    return Fail(reason, "a track without a valid track header (tkhd)");
  }
  track->track_id = track_header.track_id;
  if (track->track_id == 0) {
    return Fail(reason, "a track with ID 0");
  }
  if (const ChildBox* edts = FindChild(children, FourCc("edts"))) {
    std::vector<ChildBox> edit_children;
    if (!ReadChildBoxes(edts->payload, edts->payload_size, &edit_children)) {
      return Fail(reason, TrackName(track->track_id) + ": malformed edts box");
    }
    if (const ChildBox* elst = FindChild(edit_children, FourCc("elst"))) {
      track->has_edit_list = true;
      if (!ParseEditList(*elst, &track->edits)) {
        return Fail(reason, TrackName(track->track_id) + ": malformed edit list (elst)");
      }
    }
  }
  const ChildBox* mdia = FindChild(children, FourCc("mdia"));
  std::vector<ChildBox> media;
  if (mdia == nullptr || !ReadChildBoxes(mdia->payload, mdia->payload_size, &media)) {
    return Fail(reason, TrackName(track->track_id) + ": missing or malformed mdia box");
  }
  const ChildBox* mdhd = FindChild(media, FourCc("mdhd"));
  TimedHeader media_header;
  if (mdhd == nullptr || !ParseTimedHeader(mdhd->payload, mdhd->payload_size, &media_header) ||
      media_header.timescale == 0) {
    return Fail(reason, TrackName(track->track_id) + ": missing or malformed media header (mdhd)");
  }
  track->media_timescale = media_header.timescale;
  track->media_duration = media_header.duration;
  const ChildBox* hdlr = FindChild(media, FourCc("hdlr"));
  ByteReader handler(hdlr != nullptr ? hdlr->payload : nullptr,
                     hdlr != nullptr ? hdlr->payload_size : 0);
  handler.Skip(8);
  track->handler = handler.U32();
  if (hdlr == nullptr || !handler.ok()) {
    return Fail(reason, TrackName(track->track_id) + ": missing or malformed handler (hdlr)");
  }
  const ChildBox* minf = FindChild(media, FourCc("minf"));
  std::vector<ChildBox> information;
  if (minf == nullptr || !ReadChildBoxes(minf->payload, minf->payload_size, &information)) {
    return Fail(reason, TrackName(track->track_id) + ": missing or malformed minf box");
  }
  const ChildBox* stbl = FindChild(information, FourCc("stbl"));
  if (stbl == nullptr) {
    return Fail(reason, TrackName(track->track_id) + ": no sample table (stbl)");
  }
  return ParseSampleTable(*stbl, track, reason);
}

bool ParseTrackDefaults(const ChildBox& mvex, MovieHeader* movie, std::string* reason) {
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(mvex.payload, mvex.payload_size, &children)) {
    return Fail(reason, "malformed mvex box");
  }
  for (const ChildBox& child : children) {
    if (child.type != FourCc("trex")) {
      continue;
    }
    ByteReader reader(child.payload, child.payload_size);
    reader.Skip(4);
    const std::uint32_t track_id = reader.U32();
    SampleDefaults defaults;
    defaults.description_index = reader.U32();
    defaults.duration = reader.U32();
    defaults.size = reader.U32();
    defaults.flags = reader.U32();
    if (!reader.ok()) {
      return Fail(reason, "malformed track defaults (trex)");
    }
    bool found = false;
    for (TrackHeader& track : movie->tracks) {
      if (track.track_id == track_id) {
        track.has_defaults = true;
        track.defaults = defaults;
        found = true;
      }
    }
    if (!found) {
      return Fail(reason, "track defaults (trex) for unknown " + TrackName(track_id));
    }
  }
  return true;
}

}  // namespace

bool ParseTimedHeader(const std::uint8_t* payload, std::size_t size, TimedHeader* header) {
  ByteReader reader(payload, size);
  header->version = reader.U8();
  header->flags = reader.U24();
  if (header->version == 1) {
    header->creation_time = reader.U64();
    header->modification_time = reader.U64();
    header->timescale = reader.U32();
    header->duration = reader.U64();
  } else {
    header->creation_time = reader.U32();
    header->modification_time = reader.U32();
    header->timescale = reader.U32();
    header->duration = reader.U32();
  }
  header->rest = reader.current();
  header->rest_size = reader.remaining();
  return reader.ok() && header->version <= 1;
}

bool ParseTrackHeaderBox(const std::uint8_t* payload, std::size_t size, TrackHeaderBox* header) {
  ByteReader reader(payload, size);
  header->version = reader.U8();
  header->flags = reader.U24();
  if (header->version == 1) {
    header->creation_time = reader.U64();
    header->modification_time = reader.U64();
    header->track_id = reader.U32();
    header->reserved = reader.U32();
    header->duration = reader.U64();
  } else {
    header->creation_time = reader.U32();
    header->modification_time = reader.U32();
    header->track_id = reader.U32();
    header->reserved = reader.U32();
    header->duration = reader.U32();
  }
  header->rest = reader.current();
  header->rest_size = reader.remaining();
  return reader.ok() && header->version <= 1;
}

bool ParseMovieHeader(const std::uint8_t* payload,
                      std::size_t size,
                      MovieHeader* movie,
                      std::string* reason) {
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(payload, size, &children)) {
    return Fail(reason, "malformed moov box");
  }
  const ChildBox* mvhd = FindChild(children, FourCc("mvhd"));
  TimedHeader movie_header;
  if (mvhd == nullptr || !ParseTimedHeader(mvhd->payload, mvhd->payload_size, &movie_header) ||
      movie_header.timescale == 0) {
    return Fail(reason, "missing or malformed movie header (mvhd)");
  }
  movie->movie_timescale = movie_header.timescale;
  std::set<std::uint32_t> track_ids;
  for (const ChildBox& child : children) {
    if (child.type != FourCc("trak")) {
      continue;
    }
    TrackHeader track;
    if (!ParseTrack(child, &track, reason)) {
      return false;
    }
    if (!track_ids.insert(track.track_id).second) {
      return Fail(reason, TrackName(track.track_id) + " appears twice");
    }
    movie->tracks.push_back(std::move(track));
  }
  const ChildBox* mvex = FindChild(children, FourCc("mvex"));
  movie->fragmented = mvex != nullptr;
  return mvex == nullptr || ParseTrackDefaults(*mvex, movie, reason);
}

}  // namespace halvex::mp4
