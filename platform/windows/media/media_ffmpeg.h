// Owners for the media library's objects, so each is freed exactly once on every path.
#ifndef HALVEX_STANDIN_MEDIA_FFMPEG_H_
#define HALVEX_STANDIN_MEDIA_FFMPEG_H_

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

#include <functional>
#include <memory>

#include "media_mp4_writer.h"

namespace halvex::platform::media {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ResamplerDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Hands one encoded packet, already in its stream's time base, to the file.
using PacketWriter = std::function<Mp4Error(AVPacket* packet)>;

// The 100-nanosecond clock of every time the writer is given.
inline constexpr AVRational kHundredNanoseconds = {1, 10000000};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_FFMPEG_H_
