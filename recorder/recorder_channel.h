// The method channel through which the application drives the desktop recorder.
#ifndef HALVEX_RECORDER_RECORDER_CHANNEL_H_
#define HALVEX_RECORDER_RECORDER_CHANNEL_H_

#include <memory>

#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace halvex {

// Puts the recorder's channel on `messenger`, replacing any channel registered before (whose
// calls are answered first). The handler only queues each call: the calls run in the order they
// came on the recorder's own thread, which answers each one when it is done. The channel lives
// until process exit.
void RegisterRecorderChannel(flutter::BinaryMessenger* messenger);

// Waits until every call the channel has taken so far has run and been answered. Called when
// the engine has gone: the calls still run, and their answers are dropped.
void FinishRecorderCalls();

// Handles "start", "appendPng" and "stop" on the single recorder and answers every call exactly
// once before returning, on the calling thread; any other method is not implemented.
void RecorderChannel(const flutter::MethodCall& call,
                     std::unique_ptr<flutter::MethodResult> result);

}  // namespace halvex

#endif  // HALVEX_RECORDER_RECORDER_CHANNEL_H_
