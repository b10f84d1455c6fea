#include "mp4/testing/fragmented_mp4_builder.h"

#include <map>

#include "mp4/box.h"
#include "mp4/box_writer.h"

namespace halvex::mp4::testing {
namespace {

void Zeros(BoxWriter& writer, int count) {
  for (int i = 0; i < count; ++i) {
    writer.U8(0);
  }
}

void WriteMatrix(BoxWriter& writer) {
  const std::uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
  for (std::uint32_t value : matrix) {
    writer.U32(value);
  }
}

void WriteSampleDescription(BoxWriter& writer, const BuilderTrack& track) {
  writer.Open(FourCc("stsd"));
  writer.FullBoxHeader(0, 0);
  writer.U32(1);
  writer.Open(track.codec);
  Zeros(writer, 6);
  writer.U16(1);  // data reference index
  if (track.handler == FourCc("vide")) {
    Zeros(writer, 16);
    writer.U16(320);
    writer.U16(240);
    writer.U32(0x00480000);
    writer.U32(0x00480000);
    writer.U32(0);
    writer.U16(1);
    Zeros(writer, 32);
    writer.U16(0x18);
    writer.U16(0xffff);
  } else {
    Zeros(writer, 8);
    writer.U16(2);
    writer.U16(16);
    writer.U32(0);
    writer.U32(48000u << 16);
  }
  writer.Close();
  writer.Close();
}

void WriteEmptyTable(BoxWriter& writer, const char (&type)[5], int fields) {
  writer.Open(FourCc(type));
  writer.FullBoxHeader(0, 0);
  Zeros(writer, 4 * fields);
  writer.Close();
}

void WriteTrack(BoxWriter& writer, const BuilderTrack& track) {
  writer.Open(FourCc("trak"));
  writer.Open(FourCc("tkhd"));
  writer.FullBoxHeader(0, 3);
  writer.U32(0);
  writer.U32(0);
  writer.U32(track.track_id);
  writer.U32(0);
  writer.U32(0);  // duration: unknown while fragmented
  Zeros(writer, 8);
  writer.U16(0);
  writer.U16(track.handler == FourCc("soun") ? 1 : 0);
  writer.U16(track.handler == FourCc("soun") ? 0x0100 : 0);
  writer.U16(0);
  WriteMatrix(writer);
  writer.U32(track.handler == FourCc("vide") ? 320u << 16 : 0);
  writer.U32(track.handler == FourCc("vide") ? 240u << 16 : 0);
  writer.Close();
  if (!track.edits.empty()) {
    writer.Open(FourCc("edts"));
    writer.Open(FourCc("elst"));
    writer.FullBoxHeader(1, 0);
    writer.U32(static_cast<std::uint32_t>(track.edits.size()));
    for (const EditEntry& edit : track.edits) {
      writer.U64(edit.segment_duration);
      writer.U64(static_cast<std::uint64_t>(edit.media_time));
      writer.U16(static_cast<std::uint16_t>(edit.rate_integer));
      writer.U16(static_cast<std::uint16_t>(edit.rate_fraction));
    }
    writer.Close();
    writer.Close();
  }
  writer.Open(FourCc("mdia"));
  writer.Open(FourCc("mdhd"));
  writer.FullBoxHeader(0, 0);
  writer.U32(0);
  writer.U32(0);
  writer.U32(track.timescale);
  writer.U32(0);
  writer.U16(0x55c4);  // "und"
  writer.U16(0);
  writer.Close();
  writer.Open(FourCc("hdlr"));
  writer.FullBoxHeader(0, 0);
  writer.U32(0);
  writer.U32(track.handler);
  Zeros(writer, 12);
  writer.U8(0);
  writer.Close();
  writer.Open(FourCc("minf"));
  if (track.handler == FourCc("vide")) {
    writer.Open(FourCc("vmhd"));
    writer.FullBoxHeader(0, 1);
    Zeros(writer, 8);
    writer.Close();
  } else {
    writer.Open(FourCc("smhd"));
    writer.FullBoxHeader(0, 0);
    Zeros(writer, 4);
    writer.Close();
  }
  writer.Open(FourCc("dinf"));
  writer.Open(FourCc("dref"));
  writer.FullBoxHeader(0, 0);
  writer.U32(1);
  writer.Open(FourCc("url "));
  writer.FullBoxHeader(0, 1);
  writer.Close();
  writer.Close();
  writer.Close();
  writer.Open(FourCc("stbl"));
  if (track.with_sample_description) {
    WriteSampleDescription(writer, track);
  }
  WriteEmptyTable(writer, "stts", 1);
  WriteEmptyTable(writer, "stsc", 1);
  WriteEmptyTable(writer, "stsz", 2);
  WriteEmptyTable(writer, "stco", 1);
  writer.Close();
  writer.Close();
  writer.Close();
  writer.Close();
}

struct RunLayout {
  std::uint64_t data_start = 0;  // absolute
  std::uint64_t data_size = 0;
};

// The moof for data laid out from `data_start` on; `moof_offset` is where the moof starts.
std::vector<std::uint8_t> WriteMoof(const BuilderMovie& movie,
                                    const BuilderFragment& fragment,
                                    std::uint64_t moof_offset,
                                    std::uint64_t data_start,
                                    std::uint32_t sequence) {
  (void)movie;
  BoxWriter writer;
  writer.Open(FourCc("moof"));
  writer.Open(FourCc("mfhd"));
  writer.FullBoxHeader(0, 0);
  writer.U32(sequence);
  writer.Close();
  std::uint64_t data = data_start;
  std::uint64_t previous_traf_end = moof_offset;
  bool first_traf = true;
  for (const BuilderTrackFragment& traf : fragment.track_fragments) {
    writer.Open(FourCc("traf"));
    std::uint32_t flags = 0;
    std::uint64_t base = moof_offset;
    switch (fragment.base) {
      case BaseOffset::kDefaultBaseIsMoof:
        flags |= 0x020000;
        break;
      case BaseOffset::kExplicit:
        flags |= 0x000001;
        base = data;
        break;
      case BaseOffset::kImplied:
        base = first_traf ? moof_offset : previous_traf_end;
        break;
    }
    first_traf = false;
    flags |= traf.default_duration ? 0x08 : 0;
    flags |= traf.default_size ? 0x10 : 0;
    flags |= traf.default_flags ? 0x20 : 0;
    writer.Open(FourCc("tfhd"));
    writer.FullBoxHeader(0, flags);
    writer.U32(traf.track_id);
    if (flags & 0x01) {
      writer.U64(base);
    }
    if (traf.default_duration) {
      writer.U32(*traf.default_duration);
    }
    if (traf.default_size) {
      writer.U32(*traf.default_size);
    }
    if (traf.default_flags) {
      writer.U32(*traf.default_flags);
    }
    writer.Close();
    if (traf.decode_time) {
      writer.Open(FourCc("tfdt"));
      writer.FullBoxHeader(traf.wide_decode_time ? 1 : 0, 0);
      if (traf.wide_decode_time) {
        writer.U64(*traf.decode_time);
      } else {
        writer.U32(static_cast<std::uint32_t>(*traf.decode_time));
      }
      writer.Close();
    }
    for (const BuilderRun& run : traf.runs) {
      std::uint32_t run_flags = run.data_offset ? 0x001 : 0;
      run_flags |= run.first_sample_flags ? 0x004 : 0;
      run_flags |= run.sample_durations ? 0x100 : 0;
      run_flags |= run.sample_sizes ? 0x200 : 0;
      run_flags |= run.sample_flags ? 0x400 : 0;
      run_flags |= run.composition_offsets ? 0x800 : 0;
      writer.Open(FourCc("trun"));
      writer.FullBoxHeader(run.version, run_flags);
      writer.U32(static_cast<std::uint32_t>(run.samples.size()));
      if (run.data_offset) {
        writer.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(data - base)));
      }
      if (run.first_sample_flags) {
        writer.U32(run.samples.empty() ? 0 : run.samples.front().flags);
      }
      for (const BuilderSample& sample : run.samples) {
        if (run.sample_durations) {
          writer.U32(sample.duration);
        }
        if (run.sample_sizes) {
          writer.U32(sample.size);
        }
        if (run.sample_flags) {
          writer.U32(sample.flags);
        }
        if (run.composition_offsets) {
          writer.U32(static_cast<std::uint32_t>(sample.composition_offset));
        }
        data += sample.size;
      }
      writer.Close();
    }
    previous_traf_end = data;
    writer.Close();
  }
  writer.Close();
  return std::move(writer.bytes());
}

}  // namespace

std::vector<std::uint8_t> BuildHeader(const BuilderMovie& movie) {
  BoxWriter writer;
  writer.Open(FourCc("ftyp"));
  writer.U32(FourCc("iso5"));
  writer.U32(512);
  writer.U32(FourCc("iso5"));
  writer.U32(FourCc("iso6"));
  writer.U32(FourCc("mp41"));
  writer.Close();
  writer.Open(FourCc("moov"));
  writer.Open(FourCc("mvhd"));
  writer.FullBoxHeader(0, 0);
  writer.U32(0);
  writer.U32(0);
  writer.U32(movie.movie_timescale);
  writer.U32(0);
  writer.U32(0x00010000);
  writer.U16(0x0100);
  Zeros(writer, 10);
  WriteMatrix(writer);
  Zeros(writer, 24);
  writer.U32(static_cast<std::uint32_t>(movie.tracks.size() + 1));
  writer.Close();
  for (const BuilderTrack& track : movie.tracks) {
    WriteTrack(writer, track);
  }
  if (movie.fragmented) {
    writer.Open(FourCc("mvex"));
    for (const BuilderTrack& track : movie.tracks) {
      if (!track.with_defaults) {
        continue;
      }
      writer.Open(FourCc("trex"));
      writer.FullBoxHeader(0, 0);
      writer.U32(track.track_id);
      writer.U32(track.defaults.description_index);
      writer.U32(track.defaults.duration);
      writer.U32(track.defaults.size);
      writer.U32(track.defaults.flags);
      writer.Close();
    }
    writer.Close();
  }
  if (movie.with_user_data) {
    writer.Open(FourCc("udta"));
    writer.Open(FourCc("\xa9too"));
    writer.U32(0x00100000 | 17);
    const char tool[] = "test builder";
    writer.Bytes(reinterpret_cast<const std::uint8_t*>(tool), sizeof(tool) - 1);
    writer.Close();
    writer.Close();
  }
  writer.Close();
  return std::move(writer.bytes());
}

std::vector<std::uint8_t> BuildFragment(const BuilderMovie& movie,
                                        const BuilderFragment& fragment,
                                        std::uint64_t offset,
                                        std::uint32_t sequence,
                                        std::vector<PlacedSample>* placed) {
  // The moof's size does not depend on the offsets it holds: measure it, then write it for real.
  const std::size_t moof_size = WriteMoof(movie, fragment, offset, 0, sequence).size();
  const std::uint64_t data_start = offset + moof_size + 8;
  std::vector<std::uint8_t> bytes = WriteMoof(movie, fragment, offset, data_start, sequence);
  std::uint64_t data_size = 0;
  std::uint64_t data = data_start;
  for (const BuilderTrackFragment& traf : fragment.track_fragments) {
    for (const BuilderRun& run : traf.runs) {
      for (const BuilderSample& sample : run.samples) {
        PlacedSample entry;
        entry.track_id = traf.track_id;
        entry.offset = data;
        entry.size = sample.size;
        entry.duration = sample.duration;
        entry.composition_offset = sample.composition_offset;
        entry.sync = (sample.flags & 0x00010000) == 0 && (sample.flags & 0x03000000) != 0x01000000;
        placed->push_back(entry);
        data += sample.size;
        data_size += sample.size;
      }
    }
  }
  BoxWriter mdat;
  mdat.U32(static_cast<std::uint32_t>(data_size + 8));
  mdat.U32(FourCc("mdat"));
  bytes.insert(bytes.end(), mdat.bytes().begin(), mdat.bytes().end());
  // xorshift: cheap, and no run of equal bytes that could hide a wrong offset.
  std::uint64_t state = 0x9e3779b97f4a7c15ull ^ (std::uint64_t{sequence} << 17) ^ offset;
  const std::size_t start = bytes.size();
  bytes.resize(start + static_cast<std::size_t>(data_size));
  for (std::size_t i = start; i < bytes.size(); i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (std::size_t k = 0; k < 8 && i + k < bytes.size(); ++k) {
      bytes[i + k] = static_cast<std::uint8_t>(state >> (8 * k));
    }
  }
  return bytes;
}

std::vector<std::uint8_t> BuildFile(const BuilderMovie& movie,
                                    const std::vector<BuilderFragment>& fragments,
                                    std::vector<PlacedSample>* placed) {
  std::vector<std::uint8_t> file = BuildHeader(movie);
  std::map<std::uint32_t, std::int64_t> track_end;
  std::uint32_t sequence = 1;
  for (const BuilderFragment& fragment : fragments) {
    const std::size_t first = placed->size();
    std::vector<std::uint8_t> bytes =
        BuildFragment(movie, fragment, file.size(), sequence++, placed);
    file.insert(file.end(), bytes.begin(), bytes.end());
    std::size_t index = first;
    for (const BuilderTrackFragment& traf : fragment.track_fragments) {
      std::int64_t& time = track_end[traf.track_id];
      if (traf.decode_time) {
        time = static_cast<std::int64_t>(*traf.decode_time);
      }
      for (const BuilderRun& run : traf.runs) {
        for (std::size_t i = 0; i < run.samples.size(); ++i) {
          (*placed)[index].decode_time = time;
          time += (*placed)[index].duration;
          ++index;
        }
      }
    }
  }
  return file;
}

}  // namespace halvex::mp4::testing
