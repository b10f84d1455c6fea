#include "recorder/recorder_channel.h"

#include <string>
#include <utility>

#include "messaging/diagnostic.h"
#include "messaging/engine_method_result.h"
#include "messaging/standard_method_codec.h"
#include "recorder/application_id.h"
#include "recorder/capture_clock.h"
#include "recorder/desktop_recorder.h"
#include "recorder/recorder_call_queue.h"
#include "recorder/recorder_calls.h"

namespace halvex {
namespace {

// The queue of the channel registered last. It is made after the recorder, so that at process
// exit it is destroyed first: its last calls run before the recorder stops.
std::unique_ptr<RecorderCallQueue>& QueueSlot() {
  static std::unique_ptr<RecorderCallQueue> queue;
  return queue;
}

}  // namespace

void RegisterRecorderChannel(flutter::BinaryMessenger* messenger) {
  DesktopRecorder& recorder = DesktopRecorder::Instance();
  std::unique_ptr<RecorderCallQueue>& slot = QueueSlot();
  // The calls of an earlier channel are answered before its queue goes.
  slot.reset();
  slot = std::make_unique<RecorderCallQueue>(&recorder, RecorderCallQueue::LimitsForThisMachine());

  const std::string channelName = RecorderChannelName();
  const flutter::MethodCodec* codec = &flutter::StandardMethodCodec::GetInstance();
  // Every messenger the channel was put on hands its calls to the current queue, on the platform
  // thread, so that a replaced queue is never reached.
  messenger->SetMessageHandler(channelName, [codec, channelName](const uint8_t* message,
                                                                 size_t messageSize,
                                                                 flutter::BinaryReply reply) {
    // The frame of an "appendPng" call shows the moment the call came, not when it runs.
    const int64_t arrivalTime = CaptureClockNow();
    auto result = std::make_unique<flutter::EngineMethodResult>(std::move(reply), codec);
    std::unique_ptr<flutter::MethodCall> call = codec->DecodeMethodCall(message, messageSize);
    if (!call) {
      PrintDiagnosticLine("Unable to construct method call from message on channel " + channelName);
    }
    if (RecorderCallQueue* queue = QueueSlot().get()) {
      queue->Submit(std::move(call), std::move(result), arrivalTime, messageSize);
    } else if (call) {
      RunRecorderCall(DesktopRecorder::Instance(), *call, *result, RecorderCallContext());
    } else {
      result->NotImplemented();
    }
  });
}

void FinishRecorderCalls() {
  if (QueueSlot()) {
    QueueSlot()->WaitUntilIdle();
  }
}

void RecorderChannel(const flutter::MethodCall& call,
                     std::unique_ptr<flutter::MethodResult> result) {
  if (!result) {
    return;
  }
  RunRecorderCall(DesktopRecorder::Instance(), call, *result, RecorderCallContext());
}

}  // namespace halvex
