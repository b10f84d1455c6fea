// Writing H.264 video and AAC audio into an MP4 file: the engine behind the sink writer.
//
// Times are in 100-nanosecond units throughout. Video arrives as NV12 pictures, audio as 16-bit
// interleaved PCM at the track's own rate and channel count. Encoding and writing happen on a
// thread the writer owns, fed through a bounded queue, so a write costs its caller little more
// than handing the sample over; a failure there is reported by the next write or by Finalize.
#ifndef HALVEX_STANDIN_MEDIA_MP4_WRITER_H_
#define HALVEX_STANDIN_MEDIA_MP4_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace halvex::platform::media {

enum class Mp4Error {
  kNone,
  kUnsupportedContainer,  // the file name's extension names no container this writer writes
  kFolderNotFound,        // a folder of the path does not exist
  kAccessDenied,          // the file may not be created there, or the path is a folder
  kCannotCreateFile,      // the file cannot be created for another reason
  kInvalidStream,         // no stream of the right kind has this index
  kInvalidFormat,         // a stream format the encoders cannot produce
  kInvalidState,          // the call is not allowed at this point of the writer's life
  kInvalidSample,         // a sample too short for its picture, or with times out of order
  kEncoderUnavailable,    // the library lacks the encoder
  kEncodingFailed,
  kDiskFull,     // the disk, or the space the process may use, is full
  kWriteFailed,  // the file could not be written for another reason
  kOutOfMemory,
};

const char* Mp4ErrorName(Mp4Error error);

struct Mp4VideoFormat {
  std::uint32_t width = 0;     // even
  std::uint32_t height = 0;    // even
  std::uint32_t bit_rate = 0;  // bits per second; 0 lets the encoder choose its quality
  std::uint32_t frame_rate_numerator = 0;
  std::uint32_t frame_rate_denominator = 1;
  std::uint32_t key_frame_interval = 0;  // in pictures, at most; 0 lets the encoder choose
};

// How the file is laid out while it is written.
enum class Mp4Layout {
  kPlain,       // the index of every sample is written by Finalize, at the end
  kFragmented,  // a header without samples, then fragments (header + media) that each start
                // at a key frame: whatever was written up to the last whole fragment plays
};

// The track's format, which is also the format of the PCM it is fed with.
struct Mp4AudioFormat {
  std::uint32_t sample_rate = 48000;
  std::uint32_t channels = 1;
  std::uint32_t bytes_per_second = 24000;  // of the encoded track
};

// One NV12 picture: `pitch` bytes per row, the chroma plane straight after `height` luma rows.
// The bytes are handed to the encoder as they are; `owner` keeps them alive until it is done.
struct Nv12Picture {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint32_t pitch = 0;
  std::shared_ptr<const void> owner;
};

class Mp4Writer {
 public:
  // Creates (or truncates) the file, so that a folder that is missing or cannot be written to
  // fails here. Backslashes in `path` are folder separators. The name must end in ".mp4" unless
  // `any_name` says the container was asked for explicitly.
  static Mp4Error Create(const std::string& path,
                         Mp4Layout layout,
                         bool any_name,
                         std::unique_ptr<Mp4Writer>* writer);

  // A writer destroyed before Begin removes the file it created, which holds nothing; once writing
  // has begun the file stays, finished or not, as a media sink leaves it.
  ~Mp4Writer();
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Streams are numbered from 0 in the order they are added, before Begin.
  Mp4Error AddVideoStream(const Mp4VideoFormat& format, std::uint32_t* index);
  Mp4Error AddAudioStream(const Mp4AudioFormat& format, std::uint32_t* index);

  // Changes a video stream's key-frame interval, before Begin.
  Mp4Error SetKeyFrameInterval(std::uint32_t index, std::uint32_t pictures);

  // Opens the encoders, writes the file header and starts the encoding thread.
  Mp4Error Begin();

  // Video times must increase from sample to sample. The picture is stored at `time` for
  // `duration`, exactly.
  Mp4Error WriteVideo(std::uint32_t index,
                      Nv12Picture picture,
                      std::int64_t time,
                      std::int64_t duration);

  // `frames` sample frames of `channels` interleaved samples each, copied before returning.
  // Audio is one continuous stream: a chunk that starts later than the previous one ended is
  // preceded by silence; one that starts earlier follows on directly.
  Mp4Error WriteAudio(std::uint32_t index,
                      const std::int16_t* samples,
                      std::size_t frames,
                      std::int64_t time);

  // Drains the queue, flushes the encoders, writes the index (or the last fragment) and closes the
  // file. Reports the first failure since Begin; the file stays whatever happened.
  Mp4Error Finalize();

  // The path as written to, with '/' separators.
  const std::string& path() const;

 private:
  class Impl;
  explicit Mp4Writer(std::unique_ptr<Impl> impl);

  std::unique_ptr<Impl> impl_;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_MP4_WRITER_H_
