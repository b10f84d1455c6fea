// The method channel through which the application drives the desktop recorder.
#ifndef HALVEX_RECORDER_RECORDER_CHANNEL_H_
#define HALVEX_RECORDER_RECORDER_CHANNEL_H_

#include <memory>

#include "messaging/binary_messenger.h"
#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace halvex {

// Puts the recorder's channel on `messenger`, replacing (and destroying) any channel registered
// before. The channel lives until process exit.
void RegisterRecorderChannel(flutter::BinaryMessenger* messenger);

// Handles "start", "appendPng" and "stop" on the single recorder and answers every call exactly
// once before returning; any other method is not implemented.
void RecorderChannel(const flutter::MethodCall& call,
                     std::unique_ptr<flutter::MethodResult> result);

}  // namespace halvex

#endif  // HALVEX_RECORDER_RECORDER_CHANNEL_H_
