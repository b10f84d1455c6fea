#include "mp4/fragment.h"

#include <limits>

#include "mp4/box.h"
#include "mp4/byte_reader.h"

namespace halvex::mp4 {
namespace {

// tfhd flags.
constexpr std::uint32_t kBaseDataOffsetPresent = 0x000001;
constexpr std::uint32_t kDescriptionIndexPresent = 0x000002;
constexpr std::uint32_t kDefaultDurationPresent = 0x000008;
constexpr std::uint32_t kDefaultSizePresent = 0x000010;
constexpr std::uint32_t kDefaultFlagsPresent = 0x000020;
constexpr std::uint32_t kDefaultBaseIsMoof = 0x020000;
// trun flags.
constexpr std::uint32_t kDataOffsetPresent = 0x000001;
constexpr std::uint32_t kFirstSampleFlagsPresent = 0x000004;
constexpr std::uint32_t kSampleDurationPresent = 0x000100;
constexpr std::uint32_t kSampleSizePresent = 0x000200;
constexpr std::uint32_t kSampleFlagsPresent = 0x000400;
constexpr std::uint32_t kCompositionOffsetPresent = 0x000800;
// Sample flags: "is not a sync sample", and "depends on others" (sample_depends_on == 1), which
// readers also take as "not a key frame".
constexpr std::uint32_t kNonSyncSample = 0x00010000;
constexpr std::uint32_t kDependsOnOthers = 0x01000000;
constexpr std::uint32_t kDependsOnMask = 0x03000000;

bool IsSync(std::uint32_t flags) {
  return (flags & kNonSyncSample) == 0 && (flags & kDependsOnMask) != kDependsOnOthers;
}

FragmentResult Damaged(std::string* reason, const std::string& text) {
  *reason = text;
  return FragmentResult::kDamaged;
}

struct TrackFragmentHeader {
  std::uint32_t flags = 0;
  std::uint32_t track_id = 0;
  std::uint64_t base_data_offset = 0;
  SampleDefaults defaults;
};

bool ParseTrackFragmentHeader(const ChildBox& tfhd,
                              const TrackHeader& track,
                              TrackFragmentHeader* header) {
  ByteReader reader(tfhd.payload, tfhd.payload_size);
  reader.Skip(1);
  header->flags = reader.U24();
  header->track_id = reader.U32();
  header->defaults = track.defaults;
  if (header->flags & kBaseDataOffsetPresent) {
    header->base_data_offset = reader.U64();
  }
  if (header->flags & kDescriptionIndexPresent) {
    header->defaults.description_index = reader.U32();
  }
  if (header->flags & kDefaultDurationPresent) {
    header->defaults.duration = reader.U32();
  }
  if (header->flags & kDefaultSizePresent) {
    header->defaults.size = reader.U32();
  }
  if (header->flags & kDefaultFlagsPresent) {
    header->defaults.flags = reader.U32();
  }
  return reader.ok();
}

int FindTrack(const MovieHeader& movie, std::uint32_t track_id) {
  for (std::size_t i = 0; i < movie.tracks.size(); ++i) {
    if (movie.tracks[i].track_id == track_id) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// One trun box; `next_data` is where its data starts when it gives no offset of its own, and
// becomes the end of its data.
FragmentResult ParseRun(const ChildBox& trun,
                        const TrackFragmentHeader& header,
                        std::uint64_t base,
                        const DataBounds& bounds,
                        std::uint64_t* sample_budget,
                        std::uint64_t* next_data,
                        FragmentRun* run,
                        std::string* reason) {
  ByteReader reader(trun.payload, trun.payload_size);
  const std::uint8_t version = reader.U8();
  const std::uint32_t flags = reader.U24();
  const std::uint32_t count = reader.U32();
  std::int64_t data_offset = 0;
  if (flags & kDataOffsetPresent) {
    data_offset = reader.S32();
  }
  std::uint32_t first_flags = 0;
  if (flags & kFirstSampleFlagsPresent) {
    first_flags = reader.U32();
  }
  if (!reader.ok() || version > 1) {
    return Damaged(reason, "malformed track run (trun)");
  }
  std::size_t entry_size = 0;
  for (std::uint32_t field : {kSampleDurationPresent, kSampleSizePresent, kSampleFlagsPresent,
                              kCompositionOffsetPresent}) {
    entry_size += (flags & field) ? 4 : 0;
  }
  // Bounded work: each sample has either an entry in the box or at least a byte of data.
  if (entry_size > 0 ? count > reader.remaining() / entry_size
                     : (count > 0 && header.defaults.size == 0)) {
    return Damaged(reason, "a track run (trun) holds more samples than it has room for");
  }
  if (count > *sample_budget) {
    return Damaged(reason, "more samples than the file can hold");
  }
  *sample_budget -= count;

  if (flags & kDataOffsetPresent) {
    if ((data_offset < 0 && static_cast<std::uint64_t>(-data_offset) > base) ||
        (data_offset > 0 && base > std::numeric_limits<std::uint64_t>::max() -
                                       static_cast<std::uint64_t>(data_offset))) {
      return Damaged(reason, "a track run's data offset lies outside the file");
    }
    run->data_offset = data_offset < 0 ? base - static_cast<std::uint64_t>(-data_offset)
                                       : base + static_cast<std::uint64_t>(data_offset);
  } else {
    run->data_offset = *next_data;
  }
  run->description_index = header.defaults.description_index;
  run->samples.resize(count);
  std::uint64_t data_size = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    FragmentSample& sample = run->samples[i];
    sample.duration = (flags & kSampleDurationPresent) ? reader.U32() : header.defaults.duration;
    sample.size = (flags & kSampleSizePresent) ? reader.U32() : header.defaults.size;
    std::uint32_t sample_flags =
        (flags & kSampleFlagsPresent) ? reader.U32() : header.defaults.flags;
    if (i == 0 && (flags & kFirstSampleFlagsPresent)) {
      sample_flags = first_flags;
    }
    sample.sync = IsSync(sample_flags);
    sample.composition_offset = (flags & kCompositionOffsetPresent) ? reader.S32() : 0;
    if (version == 0 && sample.composition_offset < 0) {
      return Damaged(reason, "a composition offset too large for the index");
    }
    data_size += sample.size;
  }
  if (!reader.ok()) {
    return Damaged(reason, "malformed track run (trun)");
  }
  run->data_size = data_size;
  if (run->data_offset < bounds.data_begin) {
    return Damaged(reason, "sample data overlaps the file's header boxes");
  }
  if (run->data_offset > bounds.data_end || data_size > bounds.data_end - run->data_offset) {
    return FragmentResult::kDataOutsideFile;
  }
  *next_data = run->data_offset + data_size;
  return FragmentResult::kOk;
}

}  // namespace

FragmentResult ParseFragment(const std::uint8_t* payload,
                             std::size_t size,
                             std::uint64_t moof_offset,
                             const MovieHeader& movie,
                             const DataBounds& bounds,
                             std::uint64_t sample_budget,
                             std::vector<FragmentRun>* runs,
                             std::string* reason) {
  runs->clear();
  std::vector<ChildBox> children;
  if (!ReadChildBoxes(payload, size, &children)) {
    return Damaged(reason, "malformed movie fragment (moof)");
  }
  bool first_traf = true;
  std::uint64_t previous_traf_end = moof_offset;
  FragmentResult outcome = FragmentResult::kOk;
  for (const ChildBox& traf : children) {
    if (traf.type != FourCc("traf")) {
      continue;
    }
    std::vector<ChildBox> parts;
    if (!ReadChildBoxes(traf.payload, traf.payload_size, &parts)) {
      return Damaged(reason, "malformed track fragment (traf)");
    }
    const ChildBox* tfhd = FindChild(parts, FourCc("tfhd"));
    if (tfhd == nullptr || tfhd->payload_size < 8) {
      return Damaged(reason, "a track fragment without a valid header (tfhd)");
    }
    ByteReader id_reader(tfhd->payload + 4, 4);
    const std::uint32_t track_id = id_reader.U32();
    const int track = FindTrack(movie, track_id);
    if (track < 0) {
      return Damaged(reason, "a fragment names unknown track " + std::to_string(track_id));
    }
    TrackFragmentHeader header;
    if (!ParseTrackFragmentHeader(*tfhd, movie.tracks[static_cast<std::size_t>(track)], &header)) {
      return Damaged(reason, "malformed track fragment header (tfhd)");
    }
    if (header.defaults.description_index == 0 ||
        header.defaults.description_index >
            movie.tracks[static_cast<std::size_t>(track)].description_count) {
      return Damaged(reason, "a fragment names a sample description that track " +
                                 std::to_string(track_id) + " does not have");
    }
    bool has_decode_time = false;
    std::uint64_t decode_time = 0;
    if (const ChildBox* tfdt = FindChild(parts, FourCc("tfdt"))) {
      ByteReader reader(tfdt->payload, tfdt->payload_size);
      const std::uint8_t version = reader.U8();
      reader.Skip(3);
      decode_time = version == 1 ? reader.U64() : reader.U32();
      if (!reader.ok() || version > 1) {
        return Damaged(reason, "malformed decode time (tfdt)");
      }
      // Far enough from overflow that a track's end time always fits.
      if (decode_time > (std::uint64_t{1} << 62)) {
        return Damaged(reason, "a decode time (tfdt) out of range");
      }
      has_decode_time = true;
    }
    // Where offsets count from, in this order of precedence.
    std::uint64_t base = previous_traf_end;
    if (header.flags & kBaseDataOffsetPresent) {
      base = header.base_data_offset;
    } else if ((header.flags & kDefaultBaseIsMoof) || first_traf) {
      base = moof_offset;
    }
    first_traf = false;
    std::uint64_t next_data = base;
    bool first_run = true;
    for (const ChildBox& part : parts) {
      if (part.type != FourCc("trun")) {
        continue;
      }
      FragmentRun run;
      run.track = static_cast<std::size_t>(track);
      run.starts_track_fragment = first_run;
      run.has_decode_time = first_run && has_decode_time;
      run.decode_time = decode_time;
      const FragmentResult result =
          ParseRun(part, header, base, bounds, &sample_budget, &next_data, &run, reason);
      if (result == FragmentResult::kDamaged) {
        return result;
      }
      if (result == FragmentResult::kDataOutsideFile) {
        // Keep reading: a damaged box later in the fragment still counts as damage.
        outcome = result;
        continue;
      }
      first_run = false;
      runs->push_back(std::move(run));
    }
    previous_traf_end = next_data;
  }
  return outcome;
}

bool AddFragment(const std::vector<FragmentRun>& runs,
                 const MovieHeader& movie,
                 std::vector<TrackSamples>* tracks,
                 std::string* reason) {
  for (const FragmentRun& run : runs) {
    TrackSamples& track = (*tracks)[run.track];
    if (run.samples.empty()) {
      continue;
    }
    if (!track.started) {
      track.started = true;
      track.first_decode_time = run.has_decode_time ? run.decode_time : 0;
      track.end_decode_time = track.first_decode_time;
    } else if (run.has_decode_time && run.decode_time != track.end_decode_time) {
      const std::uint64_t last_start = track.end_decode_time - track.durations.back();
      if (run.decode_time < last_start ||
          run.decode_time - last_start > std::numeric_limits<std::uint32_t>::max()) {
        *reason = "decode times of track " + std::to_string(movie.tracks[run.track].track_id) +
                  (run.decode_time < last_start ? " go backwards" : " leave too long a gap");
        return false;
      }
      track.durations.back() = static_cast<std::uint32_t>(run.decode_time - last_start);
      track.end_decode_time = run.decode_time;
    }
    Chunk chunk;
    chunk.offset = run.data_offset;
    chunk.sample_count = static_cast<std::uint32_t>(run.samples.size());
    chunk.description_index = run.description_index;
    track.chunks.push_back(chunk);
    for (const FragmentSample& sample : run.samples) {
      track.sizes.push_back(sample.size);
      track.durations.push_back(sample.duration);
      track.composition_offsets.push_back(sample.composition_offset);
      track.sync.push_back(sample.sync);
      track.end_decode_time += sample.duration;
    }
  }
  return true;
}

}  // namespace halvex::mp4
