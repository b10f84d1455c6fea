// Loopback capture of the default output device of a sound server: the engine behind the audio
// endpoint and its capture client.
#ifndef HALVEX_STANDIN_MEDIA_PULSE_CAPTURE_H_
#define HALVEX_STANDIN_MEDIA_PULSE_CAPTURE_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace halvex::platform::media {

enum class LoopbackSampleType { kPcm, kIeeeFloat };

// A device's mix format, as the fields of an extensible wave format describe it.
struct LoopbackMixFormat {
  LoopbackSampleType sample_type = LoopbackSampleType::kIeeeFloat;
  std::uint16_t channels = 0;
  std::uint32_t samples_per_second = 0;
  std::uint16_t bits_per_sample = 0;  // the container of one sample
  std::uint16_t valid_bits_per_sample = 0;
  std::uint32_t channel_mask = 0;  // speaker bits; 0 when the positions have none

  std::uint16_t block_align() const {
    return static_cast<std::uint16_t>(channels * (bits_per_sample / 8));
  }
  std::uint32_t average_bytes_per_second() const { return samples_per_second * block_align(); }
};

enum class LoopbackError {
  kNone,
  kNoServer,       // no sound server can be reached: there is no output device
  kNoDefaultSink,  // the server has no output device
  kStreamFailed,   // the server refused or dropped the capture stream
  kOutOfMemory,
};

// The output device whose sound a loopback capture records.
struct LoopbackSink {
  std::string name;
  std::string monitor_source;
  LoopbackMixFormat mix_format;
  // A sink without a device clock of its own renders far ahead while idle and cannot take that
  // back when a stream comes: it must start over once capture asks for short packets.
  bool renders_ahead = false;
};

// Asks the server named by the environment for its default sink. Never starts a server.
LoopbackError FindDefaultSink(LoopbackSink* sink);

// Packet flags, with the values of the capture interface's buffer flags.
inline constexpr std::uint32_t kLoopbackDataDiscontinuity = 0x1;
inline constexpr std::uint32_t kLoopbackSilent = 0x2;

struct LoopbackPacket {
  std::vector<std::uint8_t> data;  // interleaved frames in the mix format
  std::uint32_t frames = 0;
  std::uint32_t flags = 0;
  // Where the first frame lies on the sink's time line: frames since the capture began (a stretch
  // the server delivered nothing for counts as it passed), and when it was played, in 100-ns ticks
  // of the system's monotonic clock.
  std::uint64_t position = 0;
  std::int64_t time = 0;
};

// Records the monitor of one sink, packet by packet as the server delivers them (about every
// 10 ms while the sink plays). A packet of nothing but zero bytes is flagged silent: a sink that
// is kept running while nothing plays delivers such data, and it must not pass for sound.
//
// Each packet is timed from the server's latency report when it arrives, and then by counting
// frames while the data runs on without a break, so that jitter in the delivery never moves a
// packet. When the data falls behind that count by more than a few packets' worth (the server
// delivered nothing for a while, or dropped what the reader left), the count jumps with the clock
// and the packet is flagged as a discontinuity.
class PulseLoopbackCapture {
 public:
  // Connects and opens the capture stream, which delivers nothing until Start. At most
  // `buffer_frames` frames wait for the reader; older ones are dropped and the next packet is
  // flagged as a discontinuity. `changed`, if given, is called on the server's event thread
  // whenever packets arrive or the stream is lost; it may take packets, and must not destroy the
  // capture.
  static LoopbackError Open(const LoopbackSink& sink,
                            std::uint32_t buffer_frames,
                            std::unique_ptr<PulseLoopbackCapture>* capture,
                            std::function<void()> changed = nullptr);

  ~PulseLoopbackCapture();
  PulseLoopbackCapture(const PulseLoopbackCapture&) = delete;
  PulseLoopbackCapture& operator=(const PulseLoopbackCapture&) = delete;

  const LoopbackMixFormat& mix_format() const { return mix_format_; }

  // Starts delivering. A sink that renders ahead is started over at the present moment, so that
  // what plays from now on reaches the capture at once, as sound reaches a device's loopback.
  LoopbackError Start();
  LoopbackError Stop();

  // Frames in the next waiting packet, 0 when none waits. Fails once the stream is lost and
  // every packet received before has been taken.
  LoopbackError NextPacketFrames(std::uint32_t* frames);
  // Takes the next waiting packet; false when none waits.
  bool TakePacket(LoopbackPacket* packet);

 private:
  class Stream;
  PulseLoopbackCapture(const LoopbackMixFormat& mix_format,
                       std::uint32_t buffer_frames,
                       std::function<void()> changed);

  // On the event thread: queues what arrived, played at `played` (100-ns ticks of the monotonic
  // clock; its first frame), then tells the listener.
  void Receive(const std::uint8_t* data, std::size_t bytes, std::int64_t played);
  void Queue(const std::uint8_t* data, std::size_t bytes, std::int64_t played);
  // The position and time of a packet of `frames` frames whose first frame was played at `played`.
  void Place(LoopbackPacket* packet, std::int64_t played);
  void MarkLost();

  const LoopbackMixFormat mix_format_;
  std::string sink_name_;
  bool sink_renders_ahead_ = false;
  const std::uint32_t buffer_frames_;
  const std::function<void()> changed_;
  std::mutex mutex_;  // guards the packets and the partial frame
  std::deque<LoopbackPacket> packets_;
  std::uint64_t queued_frames_ = 0;
  bool dropped_ = false;
  std::vector<std::uint8_t> partial_frame_;
  // The time line: the time of position 0, and the position the next packet continues at.
  bool timed_ = false;
  std::int64_t start_time_ = 0;
  std::uint64_t next_position_ = 0;
  std::atomic<bool> lost_{false};
  std::unique_ptr<Stream> stream_;  // last: its callbacks reach the members above
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_PULSE_CAPTURE_H_
