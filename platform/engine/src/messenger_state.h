// The engine's messenger: the part of the engine that other threads reach. It carries messages
// from the application to the host's channel callbacks, the host's answers back, and the other
// events (frames, the application's end) that must reach the platform thread.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_MESSENGER_STATE_H_
#define HALVEX_PLATFORM_ENGINE_SRC_MESSENGER_STATE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "engine_host/engine_library.h"

namespace halvex::engine {

// One message from the application, waiting for the host's answer.
struct PendingMessage {
  enum class State { kWaiting, kAnswered, kAbandoned };

  std::string channel;
  std::vector<uint8_t> bytes;
  State state = State::kWaiting;
  std::vector<uint8_t> reply;
};

// A message the host sent towards the application, whose reply callback is still owed.
struct OwedReply {
  FlutterDesktopBinaryReply callback = nullptr;
  void* user_data = nullptr;
};

struct ChannelCallback {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
};

// What the platform thread takes over in one wake-up.
struct PlatformWork {
  std::deque<std::shared_ptr<PendingMessage>> messages;
  std::deque<OwedReply> owed_replies;
  int frames = 0;
  bool frame_presented = false;  // the view has a new picture to paint
  bool application_finished = false;
};

// Posted to the view window whenever platform work is queued.
constexpr UINT kPlatformWorkMessage = WM_APP + 0x2E7;

}  // namespace halvex::engine

// Reference counted: the engine holds one reference, and every reply the host keeps for later
// holds another, so the handle outlives the engine as long as anyone needs it.
struct FlutterDesktopMessenger {
  FlutterDesktopMessenger() = default;
  FlutterDesktopMessenger(const FlutterDesktopMessenger&) = delete;
  FlutterDesktopMessenger& operator=(const FlutterDesktopMessenger&) = delete;

  // Queues work for the platform thread and wakes it. Callers hold `lock`.
  void WakePlatformThread();

  // Marks the engine as gone: waiting application calls are woken with no answer and later
  // answers are dropped. Returns the replies still owed to the host, for the caller to settle.
  std::deque<halvex::engine::OwedReply> ShutDown();

  // Called by the application thread: queues `message` and waits for its answer. Returns false
  // when no answer will come.
  bool SendFromApplication(const std::shared_ptr<halvex::engine::PendingMessage>& message);

  // Called by an application thread: queues `message` and returns its ticket at once, or 0 when
  // no answer will come.
  uint64_t PostFromApplication(const std::shared_ptr<halvex::engine::PendingMessage>& message);

  // Called by an application thread: takes the message of `ticket` and waits for its answer,
  // moved into `reply`. Returns false for a ticket that is unknown or already taken, and when no
  // answer will come.
  bool AwaitFromApplication(uint64_t ticket, std::vector<uint8_t>* reply);

  // Called on the platform thread: hands each message to the host's callback, or answers it
  // empty when its channel has none.
  void Deliver(const std::shared_ptr<halvex::engine::PendingMessage>& message);

  halvex::engine::PlatformWork TakePlatformWork();

  std::atomic<int> references{1};
  // Recursive: the host's reply path takes it with FlutterDesktopMessengerLock and then calls
  // FlutterDesktopMessengerSendResponse, which takes it again.
  std::recursive_mutex lock;
  std::condition_variable_any answer_arrived;
  bool available = true;
  HWND platform_window = nullptr;  // the view window; null until the view exists
  std::map<std::string, halvex::engine::ChannelCallback> callbacks;
  std::map<uintptr_t, std::shared_ptr<halvex::engine::PendingMessage>> awaiting_answer;
  uintptr_t next_response_id = 1;
  // Posted messages by ticket, until the application awaits them. Shutting down drops the ones
  // still waiting but keeps the answered ones: an answer the host gave is never lost.
  std::map<uint64_t, std::shared_ptr<halvex::engine::PendingMessage>> posted;
  uint64_t next_ticket = 1;
  halvex::engine::PlatformWork queued;
};

#endif  // HALVEX_PLATFORM_ENGINE_SRC_MESSENGER_STATE_H_
