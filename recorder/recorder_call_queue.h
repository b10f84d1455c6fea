// Takes the recorder's calls off the platform thread. Each call is queued as it comes and run, in
// the order the calls came, on the recorder's own thread, which answers it when it is done. While
// a recording runs, the PNGs of waiting "appendPng" calls are decoded ahead on a few helper
// threads; frames are still written one at a time, in order.
#ifndef HALVEX_RECORDER_RECORDER_CALL_QUEUE_H_
#define HALVEX_RECORDER_RECORDER_CALL_QUEUE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/method_result.h"
#include "recorder/frame_decoding.h"
#include "recorder/mutex.h"
#include "recorder/thread_annotations.h"
#include "recorder/wake_up.h"

namespace halvex {

class DesktopRecorder;

class RecorderCallQueue {
 public:
  struct Limits {
    // Calls taken and not yet answered, and the bytes of their messages: beyond either, the
    // caller waits for room. A call larger than the byte limit is taken once the queue is empty.
    size_t maxCalls = 8;
    size_t maxMessageBytes = size_t{64} << 20;
    // Threads that decode PNGs ahead of the writer; as many frames are decoded ahead at most.
    int decodeThreads = 2;
    // Pixel memory of the frames decoded ahead; one frame is always allowed.
    size_t maxDecodedBytes = size_t{128} << 20;
  };

  // A few decoding threads, one for each processor up to four.
  static Limits LimitsForThisMachine();

  // Runs calls on `recorder`, which must outlive the queue.
  RecorderCallQueue(DesktopRecorder* recorder, const Limits& limits);
  // Runs every call taken so far, then ends its threads.
  ~RecorderCallQueue();

  RecorderCallQueue(const RecorderCallQueue&) = delete;
  RecorderCallQueue& operator=(const RecorderCallQueue&) = delete;

  // Takes one call, which came at `arrivalTime` on the capture clock in a message of
  // `messageBytes` bytes; a null call (a message that is not a method call) is answered as not
  // implemented in its turn. Waits while the queue is full.
  void Submit(std::unique_ptr<flutter::MethodCall> call,
              std::unique_ptr<flutter::MethodResult> result,
              int64_t arrivalTime,
              size_t messageBytes) EXCLUDES(mutex_);

  // Waits until every call taken so far has been answered.
  void WaitUntilIdle() EXCLUDES(mutex_);

 private:
  struct QueuedCall;

  void RunCalls() EXCLUDES(mutex_);
  // The work of decoding thread `index`.
  void DecodeAhead(size_t index) EXCLUDES(mutex_);
  // Runs one call and answers it, on the calling thread.
  void Run(QueuedCall& queued) EXCLUDES(mutex_);
  // Decoding a frame no thread has begun: the calling thread claims it and counts its memory,
  // decodes it without the lock (the frame is the claimer's until it is done), then records the
  // result and wakes whoever waits for it. Returns, and then takes, the memory counted.
  size_t ClaimForDecoding(QueuedCall* queued) REQUIRES(mutex_);
  static void DecodeClaimed(QueuedCall* queued) EXCLUDES(mutex_);
  void FinishDecoding(QueuedCall* queued, size_t expected) REQUIRES(mutex_);
  // Takes back the memory of a call's frame once it has been written (a no-op for any other).
  void ReturnFrame(QueuedCall& queued) REQUIRES(mutex_);
  // The first waiting "appendPng" whose PNG may be decoded now, or null.
  QueuedCall* NextToDecode() REQUIRES(mutex_);
  // Memory for a frame to decode into: a kept one when there is one.
  DecodedFrame TakeSpareFrame() REQUIRES(mutex_);
  void KeepSpareFrame(DecodedFrame frame) REQUIRES(mutex_);
  // Wakes one waiting decoding thread when there is a frame to decode.
  void WakeADecoder() REQUIRES(mutex_);

  DesktopRecorder* const recorder_;
  const Limits limits_;

  Mutex mutex_;
  // Each thread of the queue waits on a wake-up of its own, so that handing over a call never
  // blocks the platform thread; callers waiting for room or for the queue to empty share one
  // condition, signalled by the recorder thread.
  WakeUp recorderWake_ GUARDED_BY(mutex_);
  std::vector<std::unique_ptr<WakeUp>> decoderWakes_ GUARDED_BY(mutex_);
  std::condition_variable callFinished_;
  // In the order the calls came; the first is the one running, or the next to run.
  std::deque<std::unique_ptr<QueuedCall>> calls_ GUARDED_BY(mutex_);
  size_t messageBytes_ GUARDED_BY(mutex_) = 0;
  // Pixel memory of the frames being decoded or decoded ahead, and what one frame takes.
  size_t decodedBytes_ GUARDED_BY(mutex_) = 0;
  size_t frameBytes_ GUARDED_BY(mutex_) = 0;
  // Frames being decoded or decoded and not yet written.
  size_t framesAhead_ GUARDED_BY(mutex_) = 0;
  // Whether the recorder was recording when its last call ended: frames are decoded ahead only
  // then. The recorder's own state decides what a frame becomes, so a stale answer costs at most
  // a decode.
  bool recording_ GUARDED_BY(mutex_) = false;
  bool ending_ GUARDED_BY(mutex_) = false;
  std::vector<DecodedFrame> spareFrames_ GUARDED_BY(mutex_);

  // Without a recorder thread (it could not be started) calls run on the caller's thread.
  std::thread recorderThread_;
  std::vector<std::thread> decodeThreads_;
};

}  // namespace halvex

#endif  // HALVEX_RECORDER_RECORDER_CALL_QUEUE_H_
