#include "media_pulse_capture.h"

#include <pulse/introspect.h>
#include <pulse/stream.h>
#include <pulse/timeval.h>

#include <cstring>
#include <new>
#include <utility>

#include "media_pulse_connection.h"
#include "media_pulse_format.h"
#include "win32_performance_counter.h"

namespace halvex::platform::media {
namespace {

// The server's alias for whichever sink is the default at the moment of asking.
constexpr char kDefaultSinkAlias[] = "@DEFAULT_SINK@";
constexpr pa_usec_t kPacketInterval = 10 * PA_USEC_PER_MSEC;
constexpr std::int64_t kTicksPerSecond = kPerformanceCounterFrequency;
// Data that lags the frame count by more than this follows a break in the delivery. Delivery
// jitter stays well inside it; a suspended sink or dropped data lies well beyond it.
constexpr std::int64_t kBreakThreshold = 40 * kTicksPerSecond / 1000;

struct SinkQuery {
  PulseConnection* connection = nullptr;
  bool done = false;
  bool found = false;
  LoopbackSink sink;
};

void OnSinkInfo(pa_context* /*context*/,
                const pa_sink_info* info,
                int end_of_list,
                void* userdata) {
  auto* query = static_cast<SinkQuery*>(userdata);
  if (end_of_list != 0 || info == nullptr) {
    query->done = true;
    query->connection->Signal();
    return;
  }
  query->found = true;
  query->sink.name = info->name != nullptr ? info->name : "";
  query->sink.monitor_source =
      info->monitor_source_name != nullptr ? info->monitor_source_name : "";
  query->sink.mix_format = RecordFormatForSink(info->sample_spec, info->channel_map).mix_format;
  query->sink.renders_ahead =
      info->driver != nullptr && std::strstr(info->driver, "null-sink") != nullptr;
}

bool AllZero(const std::uint8_t* data, std::size_t size) {
  return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

}  // namespace

LoopbackError FindDefaultSink(LoopbackSink* sink) {
  std::unique_ptr<PulseConnection> connection;
  const LoopbackError error = PulseConnection::Connect(&connection);
  if (error != LoopbackError::kNone) {
    return error;
  }
  SinkQuery query;
  query.connection = connection.get();
  {
    PulseLock lock(*connection);
    pa_operation* operation = pa_context_get_sink_info_by_name(
        connection->context(), kDefaultSinkAlias, OnSinkInfo, &query);
    if (!connection->Await(operation) || !query.done) {
      return LoopbackError::kNoDefaultSink;
    }
  }
  if (!query.found || query.sink.monitor_source.empty() || query.sink.mix_format.channels == 0) {
    return LoopbackError::kNoDefaultSink;
  }
  *sink = std::move(query.sink);
  return LoopbackError::kNone;
}

// The record stream on the monitor and the connection it lives on.
class PulseLoopbackCapture::Stream {
 public:
  Stream(std::unique_ptr<PulseConnection> connection, pa_stream* stream)
      : connection_(std::move(connection)), stream_(stream) {}

  ~Stream() {
    connection_->StopEvents();
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }

  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  PulseConnection& connection() { return *connection_; }
  pa_stream* get() const { return stream_; }

 private:
  std::unique_ptr<PulseConnection> connection_;
  pa_stream* stream_;
};

PulseLoopbackCapture::PulseLoopbackCapture(const LoopbackMixFormat& mix_format,
                                           std::uint32_t buffer_frames,
                                           std::function<void()> changed)
    : mix_format_(mix_format),
      buffer_frames_(buffer_frames == 0 ? 1 : buffer_frames),
      changed_(std::move(changed)) {}

PulseLoopbackCapture::~PulseLoopbackCapture() {
  // The stream's callbacks reach this object: no callback may run once destruction begins.
  if (stream_) {
    stream_->connection().StopEvents();
  }
  stream_.reset();
}

LoopbackError PulseLoopbackCapture::Open(const LoopbackSink& sink,
                                         std::uint32_t buffer_frames,
                                         std::unique_ptr<PulseLoopbackCapture>* capture,
                                         std::function<void()> changed) {
  capture->reset();
  pa_sample_spec sample_spec{};
  pa_channel_map map{};
  if (!RecordFormatForMixFormat(sink.mix_format, &sample_spec, &map) ||
      sink.monitor_source.empty()) {
    return LoopbackError::kStreamFailed;
  }
  std::unique_ptr<PulseConnection> connection;
  LoopbackError error = PulseConnection::Connect(&connection);
  if (error != LoopbackError::kNone) {
    return error;
  }
  std::unique_ptr<PulseLoopbackCapture> result(
      new (std::nothrow) PulseLoopbackCapture(sink.mix_format, buffer_frames, std::move(changed)));
  if (!result) {
    return LoopbackError::kOutOfMemory;
  }
  result->sink_name_ = sink.name;
  result->sink_renders_ahead_ = sink.renders_ahead;

  PulseConnection* raw_connection = connection.get();
  PulseLock lock(*raw_connection);
  pa_stream* stream = pa_stream_new(raw_connection->context(), "loopback", &sample_spec, &map);
  if (stream == nullptr) {
    return LoopbackError::kStreamFailed;
  }
  result->stream_.reset(new (std::nothrow) Stream(std::move(connection), stream));
  if (!result->stream_) {
    pa_stream_unref(stream);
    return LoopbackError::kOutOfMemory;
  }
  pa_stream_set_state_callback(
      stream,
      [](pa_stream* s, void* userdata) {
        auto* self = static_cast<PulseLoopbackCapture*>(userdata);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) {
          self->MarkLost();
        }
        self->stream_->connection().Signal();
      },
      result.get());
  pa_stream_set_read_callback(
      stream,
      [](pa_stream* s, std::size_t /*bytes*/, void* userdata) {
        auto* self = static_cast<PulseLoopbackCapture*>(userdata);
        // The sink renders a few milliseconds ahead at most while this stream listens (the stream
        // asks for that latency), and the monitor hands over what it renders at once: the data
        // waiting now began to play as long ago as it lasts.
        const std::size_t frame_bytes = self->mix_format_.block_align();
        const std::size_t waiting = pa_stream_readable_size(s);
        std::int64_t played = MonotonicClockTicks();
        if (waiting != static_cast<std::size_t>(-1)) {
          played -= static_cast<std::int64_t>(waiting / frame_bytes) * kTicksPerSecond /
                    self->mix_format_.samples_per_second;
        }
        const void* data = nullptr;
        std::size_t size = 0;
        while (pa_stream_peek(s, &data, &size) == 0 && size > 0) {
          // A hole (no data, yet a size) is a stretch the source did not fill: silence.
          self->Receive(static_cast<const std::uint8_t*>(data), size, played);
          played += static_cast<std::int64_t>(size / frame_bytes) * kTicksPerSecond /
                    self->mix_format_.samples_per_second;
          pa_stream_drop(s);
        }
      },
      result.get());

  const std::size_t frame_bytes = pa_frame_size(&sample_spec);
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kPacketInterval, &sample_spec));
  if (attributes.fragsize < frame_bytes) {
    attributes.fragsize = static_cast<std::uint32_t>(frame_bytes);
  }
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED |
                                                    PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream, sink.monitor_source.c_str(), &attributes, flags) < 0) {
    return LoopbackError::kStreamFailed;
  }
  const bool settled = raw_connection->WaitFor([stream] {
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
  });
  if (!settled || pa_stream_get_state(stream) != PA_STREAM_READY) {
    return LoopbackError::kStreamFailed;
  }
  *capture = std::move(result);
  return LoopbackError::kNone;
}

LoopbackError PulseLoopbackCapture::Start() {
  PulseConnection& connection = stream_->connection();
  PulseLock lock(connection);
  if (lost_ || !connection.Await(pa_stream_cork(stream_->get(), 0, nullptr, nullptr))) {
    return LoopbackError::kStreamFailed;
  }
  if (sink_renders_ahead_) {
    // Failing this only delays what plays in the next seconds: capture goes on regardless.
    const char* name = sink_name_.c_str();
    connection.Await(
        pa_context_suspend_sink_by_name(connection.context(), name, 1, nullptr, nullptr));
    connection.Await(
        pa_context_suspend_sink_by_name(connection.context(), name, 0, nullptr, nullptr));
  }
  return LoopbackError::kNone;
}

LoopbackError PulseLoopbackCapture::Stop() {
  PulseLock lock(stream_->connection());
  if (lost_ || !stream_->connection().Await(pa_stream_cork(stream_->get(), 1, nullptr, nullptr))) {
    return LoopbackError::kStreamFailed;
  }
  return LoopbackError::kNone;
}

LoopbackError PulseLoopbackCapture::NextPacketFrames(std::uint32_t* frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!packets_.empty()) {
    *frames = packets_.front().frames;
    return LoopbackError::kNone;
  }
  *frames = 0;
  return lost_ ? LoopbackError::kStreamFailed : LoopbackError::kNone;
}

bool PulseLoopbackCapture::TakePacket(LoopbackPacket* packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (packets_.empty()) {
    return false;
  }
  *packet = std::move(packets_.front());
  packets_.pop_front();
  queued_frames_ -= packet->frames;
  return true;
}

void PulseLoopbackCapture::MarkLost() {
  lost_ = true;
  if (changed_) {
    changed_();
  }
}

void PulseLoopbackCapture::Receive(const std::uint8_t* data,
                                   std::size_t bytes,
                                   std::int64_t played) {
  Queue(data, bytes, played);
  if (changed_) {
    changed_();
  }
}

void PulseLoopbackCapture::Place(LoopbackPacket* packet, std::int64_t played) {
  const std::int64_t rate = mix_format_.samples_per_second;
  const auto time_of = [&](std::uint64_t position) {
    return start_time_ + static_cast<std::int64_t>(position) * kTicksPerSecond / rate;
  };
  if (!timed_) {
    timed_ = true;
    start_time_ = played;
    next_position_ = 0;
  } else {
    const std::int64_t lag = played - time_of(next_position_);
    if (lag > kBreakThreshold) {
      // Nothing came for a while: the sink's time line went on without us.
      next_position_ = static_cast<std::uint64_t>((played - start_time_) * rate / kTicksPerSecond);
      packet->flags |= kLoopbackDataDiscontinuity;
    } else if (lag < -kBreakThreshold) {
      // The count ran ahead of the clock: start the time line again from this packet.
      start_time_ = played - (time_of(next_position_) - start_time_);
    }
  }
  packet->position = next_position_;
  packet->time = time_of(next_position_);
  next_position_ += packet->frames;
}

void PulseLoopbackCapture::Queue(const std::uint8_t* data, std::size_t bytes, std::int64_t played) {
  const std::size_t frame_bytes = mix_format_.block_align();
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    // The server hands over whole frames; the carry only guards against one that does not.
    const std::size_t start = partial_frame_.size();
    if (data != nullptr) {
      partial_frame_.insert(partial_frame_.end(), data, data + bytes);
    } else {
      partial_frame_.resize(start + bytes, 0);
    }
    const std::size_t whole = partial_frame_.size() / frame_bytes * frame_bytes;
    if (whole == 0) {
      return;
    }
    LoopbackPacket packet;
    packet.data.assign(partial_frame_.begin(), partial_frame_.begin() + whole);
    // Frames carried over from the last call were played just before this call's data.
    played -= static_cast<std::int64_t>(start / frame_bytes) * kTicksPerSecond /
              mix_format_.samples_per_second;
    partial_frame_.erase(partial_frame_.begin(), partial_frame_.begin() + whole);
    packet.frames = static_cast<std::uint32_t>(whole / frame_bytes);
    Place(&packet, played);
    if (AllZero(packet.data.data(), packet.data.size())) {
      packet.flags |= kLoopbackSilent;
    }
    if (dropped_) {
      packet.flags |= kLoopbackDataDiscontinuity;
      dropped_ = false;
    }
    queued_frames_ += packet.frames;
    packets_.push_back(std::move(packet));
  } catch (const std::bad_alloc&) {
    partial_frame_.clear();
    dropped_ = true;
    return;
  }
  // A reader that falls behind loses the oldest sound, as a full device buffer does.
  bool overflowed = false;
  while (queued_frames_ > buffer_frames_ && packets_.size() > 1) {
    queued_frames_ -= packets_.front().frames;
    packets_.pop_front();
    overflowed = true;
  }
  if (overflowed) {
    packets_.front().flags |= kLoopbackDataDiscontinuity;
  }
}

}  // namespace halvex::platform::media
