// The recorder's three methods: reading a call's arguments and answering it from the recorder.
#ifndef HALVEX_RECORDER_RECORDER_CALLS_H_
#define HALVEX_RECORDER_RECORDER_CALLS_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "messaging/method_call.h"
#include "messaging/method_result.h"

namespace halvex {

class DesktopRecorder;
struct DecodedFrame;

// What is known of a call besides the call itself.
struct RecorderCallContext {
  // When the call came, on the capture clock; unset: the moment it runs.
  std::optional<int64_t> arrivalTime;
  // The frame of an "appendPng" call, decoded beforehand from the call's own PNG; null: the call
  // decodes it.
  const DecodedFrame* decodedFrame = nullptr;
};

// Handles "start", "appendPng" and "stop" on `recorder`, and answers every call exactly once
// before returning; any other method is not implemented.
void RunRecorderCall(DesktopRecorder& recorder,
                     const flutter::MethodCall& call,
                     flutter::MethodResult& result,
                     const RecorderCallContext& context);

// The PNG of an "appendPng" call whose arguments carry one; null for any other call, which
// includes every call answered with "bad_args".
const std::vector<uint8_t>* AppendedPng(const flutter::MethodCall& call);

}  // namespace halvex

#endif  // HALVEX_RECORDER_RECORDER_CALLS_H_
