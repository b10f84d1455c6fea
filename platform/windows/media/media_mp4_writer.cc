#include "media_mp4_writer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "media_bounded_queue.h"
#include "media_ffmpeg.h"
#include "media_mp4_tracks.h"

namespace halvex::platform::media {
namespace {

// Enough to keep the encoder busy while the caller prepares the next picture, few enough that
// a stalled encoder holds back the caller within a fraction of a second.
constexpr std::size_t kQueuedSamples = 8;

// Past this, a time in 100-ns units times an audio rate no longer fits in 64 bits.
constexpr std::int64_t kLatestAudioTime = std::numeric_limits<std::int64_t>::max() / 384000;

std::string WithForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The extension of the file name, lower-cased, or empty.
std::string Extension(const std::string& path) {
  const std::size_t name = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) {
    return std::string();
  }
  std::string extension = path.substr(dot);
  for (char& c : extension) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return extension;
}

// The library prints progress and warnings itself; the interfaces it stands behind report
// through results only.
void SilenceLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

Mp4Error CreateError(int library_error) {
  if (library_error == AVERROR(ENOENT) || library_error == AVERROR(ENOTDIR)) {
    return Mp4Error::kFolderNotFound;
  }
  if (library_error == AVERROR(EACCES) || library_error == AVERROR(EPERM) ||
      library_error == AVERROR(EROFS) || library_error == AVERROR(EISDIR)) {
    return Mp4Error::kAccessDenied;
  }
  return Mp4Error::kCannotCreateFile;
}

bool IsWriteFailure(Mp4Error error) {
  return error == Mp4Error::kWriteFailed || error == Mp4Error::kDiskFull;
}

Mp4Error WriteError(int library_error) {
  if (library_error == AVERROR(ENOSPC) || library_error == AVERROR(EFBIG) ||
      library_error == AVERROR(EDQUOT)) {
    return Mp4Error::kDiskFull;
  }
  return library_error == AVERROR(ENOMEM) ? Mp4Error::kOutOfMemory : Mp4Error::kWriteFailed;
}

void ReleasePictureOwner(void* opaque, std::uint8_t* /*data*/) {
  delete static_cast<std::shared_ptr<const void>*>(opaque);
}

struct ContainerDeleter {
  void operator()(AVFormatContext* container) const {
    if (container->pb != nullptr) {
      avio_closep(&container->pb);
    }
    avformat_free_context(container);
  }
};
using ContainerPtr = std::unique_ptr<AVFormatContext, ContainerDeleter>;

struct StreamSlot {
  bool is_video = false;
  Mp4VideoFormat video;
  Mp4AudioFormat audio;
  std::int64_t last_video_time = std::numeric_limits<std::int64_t>::min();
};

struct WorkItem {
  std::uint32_t stream = 0;
  FramePtr picture;  // video when set, audio otherwise
  std::int64_t duration = 0;
  std::vector<std::int16_t> samples;
  std::int64_t time = 0;
};

// A reference-counted frame over the caller's bytes, or over a copy when nothing owns them.
Mp4Error WrapPicture(const Mp4VideoFormat& format, Nv12Picture picture, FramePtr* frame) {
  frame->reset(av_frame_alloc());
  if (!*frame) {
    return Mp4Error::kOutOfMemory;
  }
  AVFrame* f = frame->get();
  if (picture.owner) {
    auto* owner = new (std::nothrow) std::shared_ptr<const void>(std::move(picture.owner));
    if (owner == nullptr) {
      return Mp4Error::kOutOfMemory;
    }
    // The encoder only reads the planes; the flag makes the library copy before any write.
    f->buf[0] = av_buffer_create(const_cast<std::uint8_t*>(picture.data), picture.size,
                                 ReleasePictureOwner, owner, AV_BUFFER_FLAG_READONLY);
    if (f->buf[0] == nullptr) {
      delete owner;
      return Mp4Error::kOutOfMemory;
    }
  } else {
    f->buf[0] = av_buffer_alloc(picture.size);
    if (f->buf[0] == nullptr) {
      return Mp4Error::kOutOfMemory;
    }
    std::memcpy(f->buf[0]->data, picture.data, picture.size);
  }
  f->format = AV_PIX_FMT_NV12;
  f->width = static_cast<int>(format.width);
  f->height = static_cast<int>(format.height);
  f->data[0] = f->buf[0]->data;
  f->data[1] = f->buf[0]->data + std::size_t{picture.pitch} * format.height;
  f->linesize[0] = static_cast<int>(picture.pitch);
  f->linesize[1] = static_cast<int>(picture.pitch);
  return Mp4Error::kNone;
}

}  // namespace

const char* Mp4ErrorName(Mp4Error error) {
  switch (error) {
    case Mp4Error::kNone:
      return "none";
    case Mp4Error::kUnsupportedContainer:
      return "unsupported container";
    case Mp4Error::kFolderNotFound:
      return "folder not found";
    case Mp4Error::kAccessDenied:
      return "access denied";
    case Mp4Error::kCannotCreateFile:
      return "cannot create file";
    case Mp4Error::kInvalidStream:
      return "invalid stream";
    case Mp4Error::kInvalidFormat:
      return "invalid format";
    case Mp4Error::kInvalidState:
      return "invalid state";
    case Mp4Error::kInvalidSample:
      return "invalid sample";
    case Mp4Error::kEncoderUnavailable:
      return "encoder unavailable";
    case Mp4Error::kEncodingFailed:
      return "encoding failed";
    case Mp4Error::kDiskFull:
      return "disk full";
    case Mp4Error::kWriteFailed:
      return "write failed";
    case Mp4Error::kOutOfMemory:
      return "out of memory";
  }
  return "unknown";
}

class Mp4Writer::Impl {
 public:
  Impl(std::string path, Mp4Layout layout, ContainerPtr container)
      : path_(std::move(path)),
        layout_(layout),
        container_(std::move(container)),
        queue_(kQueuedSamples) {}

  ~Impl() {
    if (worker_.joinable()) {
      discarding_ = true;
      queue_.Close();
      worker_.join();
    }
    video_.clear();
    audio_.clear();
    container_.reset();
    if (state_ == State::kConfiguring) {
      std::remove(path_.c_str());  // created, never written to
    }
  }

  const std::string& path() const { return path_; }

  Mp4Error AddStream(const StreamSlot& slot, std::uint32_t* index) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::kConfiguring) {
      return Mp4Error::kInvalidState;
    }
    if (index != nullptr) {
      *index = static_cast<std::uint32_t>(streams_.size());
    }
    streams_.push_back(slot);
    return Mp4Error::kNone;
  }

  Mp4Error SetKeyFrameInterval(std::uint32_t index, std::uint32_t pictures) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::kConfiguring) {
      return Mp4Error::kInvalidState;
    }
    if (index >= streams_.size() || !streams_[index].is_video) {
      return Mp4Error::kInvalidStream;
    }
    streams_[index].video.key_frame_interval = pictures;
    return Mp4Error::kNone;
  }

  Mp4Error Begin() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::kConfiguring || streams_.empty()) {
      return Mp4Error::kInvalidState;
    }
    // Whatever happens now, streams already sit in the container: no second attempt.
    state_ = State::kBroken;
    video_.resize(streams_.size());
    audio_.resize(streams_.size());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
      const Mp4Error error =
          streams_[i].is_video ? VideoTrack::Open(streams_[i].video, container_.get(), &video_[i])
                               : AudioTrack::Open(streams_[i].audio, container_.get(), &audio_[i]);
      if (error != Mp4Error::kNone) {
        return error;
      }
    }
    // Fragments start at key frames and hold their own sample tables, each relative to the start
    // of its own header, after a first header that lists no samples. That header waits for the
    // first fragment, so that it can carry the edit lists of the tracks' first times (the audio
    // encoder's priming delay) and every sample keeps its time.
    AVDictionary* options = nullptr;
    if (layout_ == Mp4Layout::kFragmented &&
        av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof",
                    0) < 0) {
      return Mp4Error::kOutOfMemory;
    }
    if (layout_ == Mp4Layout::kFragmented) {
      // Each fragment reaches the file as it is cut, not when an output buffer happens to fill:
      // what a killed process leaves must hold every fragment it finished.
      container_->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    }
    const int written = avformat_write_header(container_.get(), &options);
    av_dict_free(&options);
    if (written < 0) {
      return WriteError(written);
    }
    worker_ = std::thread(&Impl::Run, this);
    state_ = State::kWriting;
    return Mp4Error::kNone;
  }

  Mp4Error WriteVideo(std::uint32_t index,
                      Nv12Picture picture,
                      std::int64_t time,
                      std::int64_t duration) {
    std::lock_guard<std::mutex> lock(mutex_);
    Mp4Error error = CheckWritable(index, true);
    if (error != Mp4Error::kNone) {
      return error;
    }
    StreamSlot& slot = streams_[index];
    const Mp4VideoFormat& format = slot.video;
    const std::uint64_t needed = std::uint64_t{picture.pitch} * format.height * 3 / 2;
    if (picture.data == nullptr || picture.pitch < format.width || picture.size < needed ||
        picture.pitch > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
        time <= slot.last_video_time || duration < 0) {
      return Mp4Error::kInvalidSample;
    }
    WorkItem item;
    item.stream = index;
    item.duration = duration;
    item.time = time;
    error = WrapPicture(format, std::move(picture), &item.picture);
    if (error != Mp4Error::kNone) {
      return error;
    }
    item.picture->pts = time;
    if (!queue_.Push(item)) {
      return Mp4Error::kInvalidState;
    }
    slot.last_video_time = time;
    return Mp4Error::kNone;
  }

  Mp4Error WriteAudio(std::uint32_t index,
                      const std::int16_t* samples,
                      std::size_t frames,
                      std::int64_t time) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Mp4Error error = CheckWritable(index, false);
    if (error != Mp4Error::kNone) {
      return error;
    }
    const std::size_t channels = streams_[index].audio.channels;
    if (samples == nullptr || frames == 0 ||
        frames > static_cast<std::size_t>(std::numeric_limits<int>::max()) / channels || time < 0 ||
        time > kLatestAudioTime) {
      return Mp4Error::kInvalidSample;
    }
    WorkItem item;
    item.stream = index;
    item.time = time;
    try {
      item.samples.assign(samples, samples + frames * channels);
    } catch (const std::bad_alloc&) {
      return Mp4Error::kOutOfMemory;
    }
    return queue_.Push(item) ? Mp4Error::kNone : Mp4Error::kInvalidState;
  }

  Mp4Error Finalize() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::kWriting) {
      return Mp4Error::kInvalidState;
    }
    queue_.Close();
    worker_.join();
    state_ = State::kFinalized;
    // A failure inside the worker is reported, but what was encoded before it is still closed
    // into a playable file where the disk allows.
    Mp4Error error = worker_error_.load();
    const PacketWriter write = [this](AVPacket* packet) { return WritePacket(packet); };
    // After a failed write the encoders' last packets could not be stored either.
    bool complete = !IsWriteFailure(error);
    if (complete) {
      for (std::size_t i = 0; i < streams_.size(); ++i) {
        const Mp4Error flushed = video_[i] ? video_[i]->Flush(write) : audio_[i]->Flush(write);
        complete = complete && !IsWriteFailure(flushed);
        if (error == Mp4Error::kNone) {
          error = flushed;
        }
      }
      const int trailer = av_write_trailer(container_.get());
      if (trailer < 0 && error == Mp4Error::kNone) {
        error = WriteError(trailer);
      }
    }
    const int closed = avio_closep(&container_->pb);
    if (closed < 0 && error == Mp4Error::kNone) {
      error = WriteError(closed);
    }
    return error;
  }

 private:
  enum class State { kConfiguring, kWriting, kFinalized, kBroken };

  Mp4Error CheckWritable(std::uint32_t index, bool video) const {
    if (state_ != State::kWriting) {
      return Mp4Error::kInvalidState;
    }
    const Mp4Error failure = worker_error_.load();
    if (failure != Mp4Error::kNone) {
      return failure;
    }
    if (index >= streams_.size() || streams_[index].is_video != video) {
      return Mp4Error::kInvalidStream;
    }
    return Mp4Error::kNone;
  }

  Mp4Error WritePacket(AVPacket* packet) {
    const int result = av_interleaved_write_frame(container_.get(), packet);
    return result < 0 ? WriteError(result) : Mp4Error::kNone;
  }

  void Run() {
    const PacketWriter write = [this](AVPacket* packet) { return WritePacket(packet); };
    WorkItem item;
    while (queue_.Pop(&item)) {
      if (discarding_ || worker_error_.load() != Mp4Error::kNone) {
        item = WorkItem();
        continue;
      }
      Mp4Error error = Mp4Error::kNone;
      try {
        if (item.picture) {
          error = video_[item.stream]->Encode(std::move(item.picture), item.duration, write);
        } else {
          error = audio_[item.stream]->Encode(item.samples, item.time, write);
        }
      } catch (const std::bad_alloc&) {
        error = Mp4Error::kOutOfMemory;
      }
      if (error != Mp4Error::kNone) {
        worker_error_.store(error);
      }
      item = WorkItem();
    }
  }

  const std::string path_;
  const Mp4Layout layout_;
  ContainerPtr container_;
  BoundedQueue<WorkItem> queue_;
  std::mutex mutex_;  // serialises the caller-side operations
  State state_ = State::kConfiguring;
  std::vector<StreamSlot> streams_;
  // Used by the worker only between Begin and the join in Finalize or the destructor.
  std::vector<std::unique_ptr<VideoTrack>> video_;
  std::vector<std::unique_ptr<AudioTrack>> audio_;
  std::atomic<Mp4Error> worker_error_{Mp4Error::kNone};
  std::atomic<bool> discarding_{false};
  std::thread worker_;
};

Mp4Writer::Mp4Writer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Mp4Writer::~Mp4Writer() = default;

Mp4Error Mp4Writer::Create(const std::string& path,
                           Mp4Layout layout,
                           bool any_name,
                           std::unique_ptr<Mp4Writer>* writer) {
  writer->reset();
  std::string file = WithForwardSlashes(path);
  if (!any_name && Extension(file) != ".mp4") {
    return Mp4Error::kUnsupportedContainer;
  }
  SilenceLibraryLog();
  AVFormatContext* raw_container = nullptr;
  if (avformat_alloc_output_context2(&raw_container, nullptr, "mp4", nullptr) < 0 ||
      raw_container == nullptr) {
    return Mp4Error::kUnsupportedContainer;
  }
  ContainerPtr container(raw_container);
  // The protocol prefix keeps a ':' in the file name from being read as a protocol of its own.
  const std::string url = "file:" + file;
  const int opened = avio_open(&container->pb, url.c_str(), AVIO_FLAG_WRITE);
  if (opened < 0) {
    return CreateError(opened);
  }
  auto impl =
      std::unique_ptr<Impl>(new (std::nothrow) Impl(std::move(file), layout, std::move(container)));
  if (!impl) {
    return Mp4Error::kOutOfMemory;
  }
  writer->reset(new (std::nothrow) Mp4Writer(std::move(impl)));
  return *writer ? Mp4Error::kNone : Mp4Error::kOutOfMemory;
}

Mp4Error Mp4Writer::AddVideoStream(const Mp4VideoFormat& format, std::uint32_t* index) {
  constexpr std::uint32_t kLargestSide = 16384;
  if (format.width < 2 || format.height < 2 || format.width % 2 != 0 || format.height % 2 != 0 ||
      format.width > kLargestSide || format.height > kLargestSide ||
      format.frame_rate_numerator == 0 || format.frame_rate_denominator == 0 ||
      format.frame_rate_numerator > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      format.frame_rate_denominator > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
    return Mp4Error::kInvalidFormat;
  }
  StreamSlot slot;
  slot.is_video = true;
  slot.video = format;
  return impl_->AddStream(slot, index);
}

Mp4Error Mp4Writer::AddAudioStream(const Mp4AudioFormat& format, std::uint32_t* index) {
  constexpr std::uint32_t kMostChannels = 8;
  if (format.sample_rate < 8000 || format.sample_rate > 96000 || format.channels == 0 ||
      format.channels > kMostChannels || format.bytes_per_second == 0) {
    return Mp4Error::kInvalidFormat;
  }
  StreamSlot slot;
  slot.audio = format;
  return impl_->AddStream(slot, index);
}

Mp4Error Mp4Writer::SetKeyFrameInterval(std::uint32_t index, std::uint32_t pictures) {
  return impl_->SetKeyFrameInterval(index, pictures);
}

Mp4Error Mp4Writer::Begin() {
  return impl_->Begin();
}

Mp4Error Mp4Writer::WriteVideo(std::uint32_t index,
                               Nv12Picture picture,
                               std::int64_t time,
                               std::int64_t duration) {
  return impl_->WriteVideo(index, std::move(picture), time, duration);
}

Mp4Error Mp4Writer::WriteAudio(std::uint32_t index,
                               const std::int16_t* samples,
                               std::size_t frames,
                               std::int64_t time) {
  return impl_->WriteAudio(index, samples, frames, time);
}

Mp4Error Mp4Writer::Finalize() {
  return impl_->Finalize();
}

const std::string& Mp4Writer::path() const {
  return impl_->path();
}

}  // namespace halvex::platform::media
