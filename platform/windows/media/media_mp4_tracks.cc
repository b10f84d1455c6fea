#include "media_mp4_tracks.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace halvex::platform::media {
namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;

Mp4Error NewStream(AVFormatContext* container,
                   const AVCodecContext* encoder,
                   AVRational time_base,
                   AVStream** stream) {
  *stream = avformat_new_stream(container, nullptr);
  if (*stream == nullptr) {
    return Mp4Error::kOutOfMemory;
  }
  (*stream)->time_base = time_base;
  if (avcodec_parameters_from_context((*stream)->codecpar, encoder) < 0) {
    return Mp4Error::kOutOfMemory;
  }
  return Mp4Error::kNone;
}

}  // namespace

VideoTrack::VideoTrack(CodecContextPtr encoder, AVStream* stream, PacketPtr packet)
    : encoder_(std::move(encoder)), stream_(stream), packet_(std::move(packet)) {}

Mp4Error VideoTrack::Open(const Mp4VideoFormat& format,
                          AVFormatContext* container,
                          std::unique_ptr<VideoTrack>* track) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (codec == nullptr) {
    return Mp4Error::kEncoderUnavailable;
  }
  CodecContextPtr encoder(avcodec_alloc_context3(codec));
  PacketPtr packet(av_packet_alloc());
  if (!encoder || !packet) {
    return Mp4Error::kOutOfMemory;
  }
  encoder->width = static_cast<int>(format.width);
  encoder->height = static_cast<int>(format.height);
  encoder->pix_fmt = AV_PIX_FMT_NV12;
  encoder->sample_aspect_ratio = AVRational{1, 1};
  encoder->time_base = kHundredNanoseconds;
  encoder->framerate = AVRational{static_cast<int>(format.frame_rate_numerator),
                                  static_cast<int>(format.frame_rate_denominator)};
  encoder->bit_rate = format.bit_rate;
  encoder->max_b_frames = 0;
  if (format.key_frame_interval > 0) {
    encoder->gop_size = static_cast<int>(
        std::min<std::uint32_t>(format.key_frame_interval, std::numeric_limits<int>::max()));
  }
  if ((container->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (av_opt_set(encoder->priv_data, "preset", "veryfast", 0) < 0) {
    return Mp4Error::kEncoderUnavailable;
  }
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) {
    return Mp4Error::kInvalidFormat;
  }
  AVStream* stream = nullptr;
  const Mp4Error error = NewStream(container, encoder.get(), kHundredNanoseconds, &stream);
  if (error != Mp4Error::kNone) {
    return error;
  }
  track->reset(new (std::nothrow) VideoTrack(std::move(encoder), stream, std::move(packet)));
  return *track ? Mp4Error::kNone : Mp4Error::kOutOfMemory;
}

Mp4Error VideoTrack::Encode(FramePtr frame, std::int64_t duration, const PacketWriter& write) {
  pending_.push_back(Timing{frame->pts, duration});
  if (avcodec_send_frame(encoder_.get(), frame.get()) < 0) {
    pending_.pop_back();
    return Mp4Error::kEncodingFailed;
  }
  return Drain(write);
}

Mp4Error VideoTrack::Flush(const PacketWriter& write) {
  if (avcodec_send_frame(encoder_.get(), nullptr) < 0) {
    return Mp4Error::kEncodingFailed;
  }
  return Drain(write);
}

Mp4Error VideoTrack::Drain(const PacketWriter& write) {
  for (;;) {
    const int result = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
      return Mp4Error::kNone;
    }
    if (result < 0) {
      return Mp4Error::kEncodingFailed;
    }
    // The encoder carries each picture's time through, but leaves the duration unset; pictures
    // it dropped would sit before this one in the list.
    while (!pending_.empty() && pending_.front().time < packet_->pts) {
      pending_.pop_front();
    }
    std::int64_t duration = 0;
    if (!pending_.empty() && pending_.front().time == packet_->pts) {
      duration = pending_.front().duration;
      pending_.pop_front();
    }
    packet_->dts = packet_->pts;
    packet_->duration = duration;
    av_packet_rescale_ts(packet_.get(), kHundredNanoseconds, stream_->time_base);
    packet_->stream_index = stream_->index;
    const Mp4Error error = write(packet_.get());
    av_packet_unref(packet_.get());
    if (error != Mp4Error::kNone) {
      return error;
    }
  }
}

AudioTrack::AudioTrack(CodecContextPtr encoder,
                       AVStream* stream,
                       PacketPtr packet,
                       ResamplerPtr converter,
                       AudioFifoPtr fifo)
    : encoder_(std::move(encoder)),
      stream_(stream),
      packet_(std::move(packet)),
      converter_(std::move(converter)),
      fifo_(std::move(fifo)),
      channels_(encoder_->ch_layout.nb_channels),
      frame_size_(encoder_->frame_size) {}

Mp4Error AudioTrack::Open(const Mp4AudioFormat& format,
                          AVFormatContext* container,
                          std::unique_ptr<AudioTrack>* track) {
  const AVCodec* codec = avcodec_find_encoder_by_name("aac");
  if (codec == nullptr) {
    return Mp4Error::kEncoderUnavailable;
  }
  CodecContextPtr encoder(avcodec_alloc_context3(codec));
  PacketPtr packet(av_packet_alloc());
  if (!encoder || !packet) {
    return Mp4Error::kOutOfMemory;
  }
  const int rate = static_cast<int>(format.sample_rate);
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = rate;
  av_channel_layout_default(&encoder->ch_layout, static_cast<int>(format.channels));
  encoder->bit_rate = std::int64_t{format.bytes_per_second} * 8;
  encoder->time_base = AVRational{1, rate};
  if ((container->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0 || encoder->frame_size <= 0) {
    return Mp4Error::kInvalidFormat;
  }

  SwrContext* raw_converter = nullptr;
  if (swr_alloc_set_opts2(&raw_converter, &encoder->ch_layout, AV_SAMPLE_FMT_FLTP, rate,
                          &encoder->ch_layout, AV_SAMPLE_FMT_S16, rate, 0, nullptr) < 0) {
    return Mp4Error::kOutOfMemory;
  }
  ResamplerPtr converter(raw_converter);
  if (swr_init(converter.get()) < 0) {
    return Mp4Error::kInvalidFormat;
  }
  AudioFifoPtr fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, encoder->ch_layout.nb_channels,
                                        encoder->frame_size * 2));
  if (!fifo) {
    return Mp4Error::kOutOfMemory;
  }
  AVStream* stream = nullptr;
  const Mp4Error error = NewStream(container, encoder.get(), AVRational{1, rate}, &stream);
  if (error != Mp4Error::kNone) {
    return error;
  }
  track->reset(new (std::nothrow) AudioTrack(std::move(encoder), stream, std::move(packet),
                                             std::move(converter), std::move(fifo)));
  return *track ? Mp4Error::kNone : Mp4Error::kOutOfMemory;
}

Mp4Error AudioTrack::Encode(const std::vector<std::int16_t>& samples,
                            std::int64_t time,
                            const PacketWriter& write) {
  const std::int64_t rate = encoder_->sample_rate;
  const std::int64_t position = (time * rate + kTicksPerSecond / 2) / kTicksPerSecond;
  if (!started_) {
    started_ = true;
    next_input_position_ = position;
    next_frame_position_ = position;
  } else if (position > next_input_position_) {
    const Mp4Error error = AppendSilence(position - next_input_position_, write);
    if (error != Mp4Error::kNone) {
      return error;
    }
  }
  const auto frames = static_cast<int>(samples.size() / static_cast<std::size_t>(channels_));
  Mp4Error error = AppendSamples(samples.data(), frames);
  if (error != Mp4Error::kNone) {
    return error;
  }
  next_input_position_ += frames;
  return EncodeQueued(false, write);
}

Mp4Error AudioTrack::Flush(const PacketWriter& write) {
  const Mp4Error error = EncodeQueued(true, write);
  if (error != Mp4Error::kNone) {
    return error;
  }
  if (avcodec_send_frame(encoder_.get(), nullptr) < 0) {
    return Mp4Error::kEncodingFailed;
  }
  return Drain(write);
}

Mp4Error AudioTrack::AppendSamples(const std::int16_t* samples, int frames) {
  planar_.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels_));
  std::vector<std::uint8_t*> planes(static_cast<std::size_t>(channels_));
  for (int channel = 0; channel < channels_; ++channel) {
    planes[static_cast<std::size_t>(channel)] = reinterpret_cast<std::uint8_t*>(
        planar_.data() + static_cast<std::size_t>(channel) * static_cast<std::size_t>(frames));
  }
  const auto* input = reinterpret_cast<const std::uint8_t*>(samples);
  const int converted = swr_convert(converter_.get(), planes.data(), frames, &input, frames);
  if (converted < 0) {
    return Mp4Error::kEncodingFailed;
  }
  if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes.data()), converted) !=
      converted) {
    return Mp4Error::kOutOfMemory;
  }
  return Mp4Error::kNone;
}

Mp4Error AudioTrack::AppendSilence(std::int64_t frames, const PacketWriter& write) {
  // A block at a time, encoding as it goes, so a long gap never piles up in memory.
  std::vector<float> silence(static_cast<std::size_t>(frame_size_), 0.0f);
  std::vector<void*> planes(static_cast<std::size_t>(channels_), silence.data());
  while (frames > 0) {
    const int block = static_cast<int>(std::min<std::int64_t>(frames, frame_size_));
    if (av_audio_fifo_write(fifo_.get(), planes.data(), block) != block) {
      return Mp4Error::kOutOfMemory;
    }
    frames -= block;
    next_input_position_ += block;
    const Mp4Error error = EncodeQueued(false, write);
    if (error != Mp4Error::kNone) {
      return error;
    }
  }
  return Mp4Error::kNone;
}

Mp4Error AudioTrack::EncodeQueued(bool include_partial, const PacketWriter& write) {
  for (;;) {
    const int queued = av_audio_fifo_size(fifo_.get());
    if (queued == 0 || (queued < frame_size_ && !include_partial)) {
      return Mp4Error::kNone;
    }
    const int count = std::min(queued, frame_size_);
    FramePtr frame(av_frame_alloc());
    if (!frame) {
      return Mp4Error::kOutOfMemory;
    }
    frame->nb_samples = count;
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = encoder_->sample_rate;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0) {
      return Mp4Error::kOutOfMemory;
    }
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), count) != count) {
      return Mp4Error::kEncodingFailed;
    }
    frame->pts = next_frame_position_;
    next_frame_position_ += count;
    if (avcodec_send_frame(encoder_.get(), frame.get()) < 0) {
      return Mp4Error::kEncodingFailed;
    }
    const Mp4Error error = Drain(write);
    if (error != Mp4Error::kNone) {
      return error;
    }
  }
}

Mp4Error AudioTrack::Drain(const PacketWriter& write) {
  for (;;) {
    const int result = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
      return Mp4Error::kNone;
    }
    if (result < 0) {
      return Mp4Error::kEncodingFailed;
    }
    av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    const Mp4Error error = write(packet_.get());
    av_packet_unref(packet_.get());
    if (error != Mp4Error::kNone) {
      return error;
    }
  }
}

}  // namespace halvex::platform::media
