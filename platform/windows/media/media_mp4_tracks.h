// The two tracks of an MP4 recording: an encoder each, and the stream it fills.
#ifndef HALVEX_STANDIN_MEDIA_MP4_TRACKS_H_
#define HALVEX_STANDIN_MEDIA_MP4_TRACKS_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "media_ffmpeg.h"
#include "media_mp4_writer.h"

namespace halvex::platform::media {

// H.264 from NV12, without B-frames, so packets leave the encoder in the order the pictures went
// in and the video needs no edit list.
class VideoTrack {
 public:
  // Adds the track's stream to `container`.
  static Mp4Error Open(const Mp4VideoFormat& format,
                       AVFormatContext* container,
                       std::unique_ptr<VideoTrack>* track);

  // `frame->pts` is the picture's time in 100-ns units; the packet gets that time and `duration`.
  Mp4Error Encode(FramePtr frame, std::int64_t duration, const PacketWriter& write);
  Mp4Error Flush(const PacketWriter& write);

 private:
  struct Timing {
    std::int64_t time;
    std::int64_t duration;
  };

  VideoTrack(CodecContextPtr encoder, AVStream* stream, PacketPtr packet);
  Mp4Error Drain(const PacketWriter& write);

  CodecContextPtr encoder_;
  AVStream* stream_;
  PacketPtr packet_;
  std::deque<Timing> pending_;  // pictures inside the encoder, oldest first
};

// AAC from 16-bit interleaved PCM. Input is collected into whole encoder frames; the encoder's
// priming delay shows as negative packet times, which the container turns into an edit list.
class AudioTrack {
 public:
  static Mp4Error Open(const Mp4AudioFormat& format,
                       AVFormatContext* container,
                       std::unique_ptr<AudioTrack>* track);

  Mp4Error Encode(const std::vector<std::int16_t>& samples,
                  std::int64_t time,
                  const PacketWriter& write);
  // Encodes what is left, a last partial frame included.
  Mp4Error Flush(const PacketWriter& write);

 private:
  AudioTrack(CodecContextPtr encoder,
             AVStream* stream,
             PacketPtr packet,
             ResamplerPtr converter,
             AudioFifoPtr fifo);
  Mp4Error AppendSamples(const std::int16_t* samples, int frames);
  Mp4Error AppendSilence(std::int64_t frames, const PacketWriter& write);
  Mp4Error EncodeQueued(bool include_partial, const PacketWriter& write);
  Mp4Error Drain(const PacketWriter& write);

  CodecContextPtr encoder_;
  AVStream* stream_;
  PacketPtr packet_;
  ResamplerPtr converter_;  // s16 interleaved to float planar
  AudioFifoPtr fifo_;
  int channels_;
  int frame_size_;
  bool started_ = false;
  std::int64_t next_input_position_ = 0;  // in samples per channel
  std::int64_t next_frame_position_ = 0;
  std::vector<float> planar_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_MP4_TRACKS_H_
