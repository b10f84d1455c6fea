// From a sound server's sample format to the mix format a loopback client reports.
#ifndef HALVEX_STANDIN_MEDIA_PULSE_FORMAT_H_
#define HALVEX_STANDIN_MEDIA_PULSE_FORMAT_H_

#include <pulse/channelmap.h>
#include <pulse/sample.h>

#include "media_pulse_capture.h"

namespace halvex::platform::media {

// The format to record a sink's monitor in and how to describe it. Formats a mix format
// describes directly (float32, s16, s24, s32, all little-endian) are recorded as they are, 24-bit
// samples in 32-bit words as 32-bit integers with 24 valid bits; any other is recorded as
// float32, which the server converts to. Channels are recorded in
// the order of their speaker bits, as the mix format's channel mask implies; when a position has
// no speaker bit the sink's own order is kept and the mask is 0.
struct LoopbackRecordFormat {
  pa_sample_spec sample_spec;
  pa_channel_map map;
  LoopbackMixFormat mix_format;
};

LoopbackRecordFormat RecordFormatForSink(const pa_sample_spec& sink_spec,
                                         const pa_channel_map& sink_map);

// The way back: how to record so that the data is in `mix_format`. False for a format that
// RecordFormatForSink never produces.
bool RecordFormatForMixFormat(const LoopbackMixFormat& mix_format,
                              pa_sample_spec* sample_spec,
                              pa_channel_map* map);

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PULSE_FORMAT_H_
