#include "media_pulse_format.h"

#include <algorithm>
#include <array>
#include <utility>

namespace halvex::platform::media {
namespace {

// Speaker bits of the extensible wave format, by server channel position.
std::uint32_t SpeakerBit(pa_channel_position_t position) {
  switch (position) {
    case PA_CHANNEL_POSITION_FRONT_LEFT:
      return 0x1;
    case PA_CHANNEL_POSITION_FRONT_RIGHT:
      return 0x2;
    case PA_CHANNEL_POSITION_MONO:
    case PA_CHANNEL_POSITION_FRONT_CENTER:
      return 0x4;
    case PA_CHANNEL_POSITION_LFE:
      return 0x8;
    case PA_CHANNEL_POSITION_REAR_LEFT:
      return 0x10;
    case PA_CHANNEL_POSITION_REAR_RIGHT:
      return 0x20;
    case PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER:
      return 0x40;
    case PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER:
      return 0x80;
    case PA_CHANNEL_POSITION_REAR_CENTER:
      return 0x100;
    case PA_CHANNEL_POSITION_SIDE_LEFT:
      return 0x200;
    case PA_CHANNEL_POSITION_SIDE_RIGHT:
      return 0x400;
    case PA_CHANNEL_POSITION_TOP_CENTER:
      return 0x800;
    case PA_CHANNEL_POSITION_TOP_FRONT_LEFT:
      return 0x1000;
    case PA_CHANNEL_POSITION_TOP_FRONT_CENTER:
      return 0x2000;
    case PA_CHANNEL_POSITION_TOP_FRONT_RIGHT:
      return 0x4000;
    case PA_CHANNEL_POSITION_TOP_REAR_LEFT:
      return 0x8000;
    case PA_CHANNEL_POSITION_TOP_REAR_CENTER:
      return 0x10000;
    case PA_CHANNEL_POSITION_TOP_REAR_RIGHT:
      return 0x20000;
    default:
      return 0;
  }
}

struct SampleLayout {
  pa_sample_format_t sink_format;
  pa_sample_format_t record_format;
  LoopbackSampleType type;
  std::uint16_t container_bits;
  std::uint16_t valid_bits;
};

// The server keeps 24-bit samples in 32-bit words in the low bytes; a wave format keeps them in
// the high bytes. Recording those as 32-bit integers moves them there, exactly.
constexpr std::array<SampleLayout, 5> kDirectLayouts = {{
    {PA_SAMPLE_FLOAT32LE, PA_SAMPLE_FLOAT32LE, LoopbackSampleType::kIeeeFloat, 32, 32},
    {PA_SAMPLE_S16LE, PA_SAMPLE_S16LE, LoopbackSampleType::kPcm, 16, 16},
    {PA_SAMPLE_S24LE, PA_SAMPLE_S24LE, LoopbackSampleType::kPcm, 24, 24},
    {PA_SAMPLE_S24_32LE, PA_SAMPLE_S32LE, LoopbackSampleType::kPcm, 32, 24},
    {PA_SAMPLE_S32LE, PA_SAMPLE_S32LE, LoopbackSampleType::kPcm, 32, 32},
}};

constexpr std::array<pa_channel_position_t, 18> kPositionsBySpeakerBit = {{
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
}};

}  // namespace

LoopbackRecordFormat RecordFormatForSink(const pa_sample_spec& sink_spec,
                                         const pa_channel_map& sink_map) {
  LoopbackRecordFormat result{};
  result.sample_spec = sink_spec;
  SampleLayout layout = kDirectLayouts[0];
  const auto direct =
      std::find_if(kDirectLayouts.begin(), kDirectLayouts.end(),
                   [&](const SampleLayout& l) { return l.sink_format == sink_spec.format; });
  if (direct != kDirectLayouts.end()) {
    layout = *direct;
  }
  result.sample_spec.format = layout.record_format;

  const unsigned channels = std::min<unsigned>(sink_spec.channels, PA_CHANNELS_MAX);
  const bool map_usable = sink_map.channels == channels;
  std::array<std::pair<std::uint32_t, pa_channel_position_t>, PA_CHANNELS_MAX> speakers{};
  std::uint32_t mask = 0;
  bool every_position_has_a_bit = map_usable;
  for (unsigned i = 0; map_usable && i < channels; ++i) {
    const std::uint32_t bit = SpeakerBit(sink_map.map[i]);
    if (bit == 0 || (mask & bit) != 0) {
      every_position_has_a_bit = false;
    }
    mask |= bit;
    speakers[i] = {bit, sink_map.map[i]};
  }
  if (every_position_has_a_bit) {
    std::sort(speakers.begin(), speakers.begin() + channels);
    result.map.channels = static_cast<std::uint8_t>(channels);
    for (unsigned i = 0; i < channels; ++i) {
      result.map.map[i] = speakers[i].second;
    }
  } else {
    mask = 0;
    if (map_usable) {
      result.map = sink_map;
    } else {
      pa_channel_map_init_extend(&result.map, channels, PA_CHANNEL_MAP_DEFAULT);
    }
  }

  LoopbackMixFormat& mix = result.mix_format;
  mix.sample_type = layout.type;
  mix.channels = static_cast<std::uint16_t>(channels);
  mix.samples_per_second = sink_spec.rate;
  mix.bits_per_sample = layout.container_bits;
  mix.valid_bits_per_sample = layout.valid_bits;
  mix.channel_mask = mask;
  return result;
}

bool RecordFormatForMixFormat(const LoopbackMixFormat& mix_format,
                              pa_sample_spec* sample_spec,
                              pa_channel_map* map) {
  const auto layout =
      std::find_if(kDirectLayouts.begin(), kDirectLayouts.end(), [&](const SampleLayout& l) {
        return l.type == mix_format.sample_type && l.container_bits == mix_format.bits_per_sample &&
               l.valid_bits == mix_format.valid_bits_per_sample;
      });
  if (layout == kDirectLayouts.end() || mix_format.channels == 0 ||
      mix_format.channels > PA_CHANNELS_MAX || mix_format.samples_per_second == 0) {
    return false;
  }
  sample_spec->format = layout->record_format;
  sample_spec->rate = mix_format.samples_per_second;
  sample_spec->channels = static_cast<std::uint8_t>(mix_format.channels);
  if (mix_format.channel_mask == 0) {
    pa_channel_map_init_extend(map, sample_spec->channels, PA_CHANNEL_MAP_DEFAULT);
    return true;
  }
  pa_channel_map_init(map);
  for (std::size_t bit = 0; bit < kPositionsBySpeakerBit.size(); ++bit) {
    if ((mix_format.channel_mask & (std::uint32_t{1} << bit)) != 0 &&
        map->channels < sample_spec->channels) {
      map->map[map->channels++] = kPositionsBySpeakerBit[bit];
    }
  }
  if (map->channels != sample_spec->channels) {
    pa_channel_map_init_extend(map, sample_spec->channels, PA_CHANNEL_MAP_DEFAULT);
  }
  // A mono sink's single channel maps to the centre speaker, and back to mono.
  if (sample_spec->channels == 1 && map->map[0] == PA_CHANNEL_POSITION_FRONT_CENTER) {
    map->map[0] = PA_CHANNEL_POSITION_MONO;
  }
  return true;
}

}  // namespace halvex::platform::media
