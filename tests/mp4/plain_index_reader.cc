#include "tests/mp4/plain_index_reader.h"

#include "mp4/box.h"
#include "mp4/byte_reader.h"
#include "mp4/movie_header.h"

namespace halvex::mp4_testing {
namespace {

using mp4::ByteReader;
using mp4::ChildBox;
using mp4::FourCc;

std::vector<ChildBox> Children(const ChildBox& box) {
  std::vector<ChildBox> children;
  mp4::ReadChildBoxes(box.payload, box.payload_size, &children);
  return children;
}

const ChildBox* Find(const std::vector<ChildBox>& boxes, const char (&type)[5]) {
  return mp4::FindChild(boxes, FourCc(type));
}

bool ReadTrack(const ChildBox& trak,
               std::uint32_t movie_timescale,
               IndexedTrack* track,
               std::string* error) {
  const std::vector<ChildBox> parts = Children(trak);
  mp4::TrackHeaderBox tkhd;
  mp4::ParseTrackHeaderBox(Find(parts, "tkhd")->payload, Find(parts, "tkhd")->payload_size, &tkhd);
  track->track_id = tkhd.track_id;
  track->track_duration = tkhd.duration;
  std::int64_t empty_edit = 0;  // movie timescale
  std::int64_t media_start = 0;
  if (const ChildBox* edts = Find(parts, "edts")) {
    const std::vector<ChildBox> edits = Children(*edts);  // `elst` points into it
    const ChildBox* elst = Find(edits, "elst");
    ByteReader reader(elst->payload, elst->payload_size);
    const std::uint8_t version = reader.U8();
    reader.Skip(3);
    const std::uint32_t count = reader.U32();
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t duration = version == 1 ? reader.U64() : reader.U32();
      const std::int64_t time = version == 1 ? reader.S64() : reader.S32();
      reader.Skip(4);
      if (time < 0) {
        empty_edit += static_cast<std::int64_t>(duration);
      } else if (i + 1 == count || media_start == 0) {
        media_start = time;
      }
    }
  }
  const std::vector<ChildBox> media = Children(*Find(parts, "mdia"));
  mp4::TimedHeader mdhd;
  mp4::ParseTimedHeader(Find(media, "mdhd")->payload, Find(media, "mdhd")->payload_size, &mdhd);
  track->timescale = mdhd.timescale;
  track->media_duration = mdhd.duration;
  const std::vector<ChildBox> information = Children(*Find(media, "minf"));
  const std::vector<ChildBox> tables = Children(*Find(information, "stbl"));
  for (const ChildBox& table : tables) {
    track->table_types.push_back(mp4::FourCcText(table.type));
  }
  // stsz gives the count.
  const ChildBox* stsz = Find(tables, "stsz");
  if (stsz == nullptr) {
    *error = "no stsz";
    return false;
  }
  ByteReader sizes(stsz->payload, stsz->payload_size);
  sizes.Skip(4);
  const std::uint32_t common_size = sizes.U32();
  const std::uint32_t count = sizes.U32();
  track->samples.resize(count);
  for (IndexedSample& sample : track->samples) {
    sample.size = common_size != 0 ? common_size : sizes.U32();
  }
  // stts: durations and decode times.
  ByteReader stts(Find(tables, "stts")->payload, Find(tables, "stts")->payload_size);
  stts.Skip(4);
  std::size_t index = 0;
  const std::int64_t shift =
      empty_edit * static_cast<std::int64_t>(mdhd.timescale) / movie_timescale - media_start;
  std::int64_t time = shift;
  for (std::uint32_t entries = stts.U32(); entries > 0; --entries) {
    const std::uint32_t run = stts.U32();
    const std::uint32_t delta = stts.U32();
    for (std::uint32_t i = 0; i < run && index < count; ++i, ++index) {
      track->samples[index].duration = delta;
      track->samples[index].decode_time = time;
      time += delta;
    }
  }
  if (const ChildBox* ctts = Find(tables, "ctts")) {
    ByteReader reader(ctts->payload, ctts->payload_size);
    reader.Skip(4);
    index = 0;
    for (std::uint32_t entries = reader.U32(); entries > 0; --entries) {
      const std::uint32_t run = reader.U32();
      const std::int32_t offset = reader.S32();
      for (std::uint32_t i = 0; i < run && index < count; ++i, ++index) {
        track->samples[index].composition_offset = offset;
      }
    }
  }
  if (const ChildBox* stss = Find(tables, "stss")) {
    for (IndexedSample& sample : track->samples) {
      sample.sync = false;
    }
    ByteReader reader(stss->payload, stss->payload_size);
    reader.Skip(4);
    for (std::uint32_t entries = reader.U32(); entries > 0; --entries) {
      const std::uint32_t number = reader.U32();
      if (number >= 1 && number <= count) {
        track->samples[number - 1].sync = true;
      }
    }
  }
  // Chunks: stsc runs over stco/co64 offsets.
  std::vector<std::uint64_t> chunk_offsets;
  const ChildBox* stco = Find(tables, "stco");
  const ChildBox* co64 = Find(tables, "co64");
  const ChildBox* offsets = stco != nullptr ? stco : co64;
  ByteReader offset_reader(offsets->payload, offsets->payload_size);
  offset_reader.Skip(4);
  for (std::uint32_t entries = offset_reader.U32(); entries > 0; --entries) {
    chunk_offsets.push_back(stco != nullptr ? offset_reader.U32() : offset_reader.U64());
  }
  ByteReader stsc(Find(tables, "stsc")->payload, Find(tables, "stsc")->payload_size);
  stsc.Skip(4);
  struct Entry {
    std::uint32_t first_chunk, samples_per_chunk;
  };
  std::vector<Entry> entries;
  for (std::uint32_t n = stsc.U32(); n > 0; --n) {
    Entry entry{stsc.U32(), stsc.U32()};
    stsc.Skip(4);
    entries.push_back(entry);
  }
  index = 0;
  for (std::size_t e = 0; e < entries.size(); ++e) {
    const std::size_t last_chunk =
        e + 1 < entries.size() ? entries[e + 1].first_chunk - 1 : chunk_offsets.size();
    for (std::size_t chunk = entries[e].first_chunk; chunk <= last_chunk; ++chunk) {
      std::uint64_t offset = chunk_offsets[chunk - 1];
      for (std::uint32_t i = 0; i < entries[e].samples_per_chunk && index < count; ++i, ++index) {
        track->samples[index].offset = offset;
        offset += track->samples[index].size;
      }
    }
  }
  if (index != count || !sizes.ok() || !stts.ok() || !stsc.ok() || !offset_reader.ok()) {
    *error = "the sample tables do not add up";
    return false;
  }
  return true;
}

}  // namespace

PlainFile ReadPlainFile(mp4::RandomAccessFile& file) {
  PlainFile plain;
  std::uint64_t size = 0;
  file.Size(&size);
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> moov;
  while (offset + 8 <= size) {
    std::uint8_t bytes[16] = {};
    const std::size_t available =
        static_cast<std::size_t>(std::min<std::uint64_t>(16, size - offset));
    file.ReadAt(offset, bytes, available);
    mp4::BoxHeader header;
    if (mp4::ParseBoxHeader(bytes, available, offset, size, &header) != mp4::BoxHeaderResult::kOk) {
      plain.error = "a bad top-level box at " + std::to_string(offset);
      return plain;
    }
    plain.top_level.push_back(mp4::FourCcText(header.type));
    if (header.type == FourCc("mdat") && plain.mdat_end == 0) {
      plain.mdat_offset = header.offset;
      plain.mdat_end = header.end();
    }
    if (header.type == FourCc("moov") && moov.empty()) {
      moov.resize(static_cast<std::size_t>(header.size));
      file.ReadAt(offset, moov.data(), moov.size());
    }
    offset = header.end();
  }
  std::vector<ChildBox> top;
  if (moov.empty() || !mp4::ReadChildBoxes(moov.data(), moov.size(), &top)) {
    plain.error = "no moov";
    return plain;
  }
  const std::vector<ChildBox> children = Children(top.front());
  mp4::TimedHeader mvhd;
  mp4::ParseTimedHeader(Find(children, "mvhd")->payload, Find(children, "mvhd")->payload_size,
                        &mvhd);
  plain.movie_timescale = mvhd.timescale;
  plain.movie_duration = mvhd.duration;
  plain.has_mvex = Find(children, "mvex") != nullptr;
  for (const ChildBox& child : children) {
    if (child.type == FourCc("trak")) {
      IndexedTrack track;
      if (!ReadTrack(child, plain.movie_timescale, &track, &plain.error)) {
        return plain;
      }
      plain.tracks.push_back(std::move(track));
    }
  }
  plain.ok = true;
  return plain;
}

}  // namespace halvex::mp4_testing
