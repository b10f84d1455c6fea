// The tests' one fake of the messenger functions: it records and scripts, where the engine
// stand-in's messenger (platform/engine/) carries messages between real threads.
#ifndef HALVEX_TESTS_SUPPORT_FAKE_MESSENGER_H_
#define HALVEX_TESTS_SUPPORT_FAKE_MESSENGER_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_host/engine_library.h"

namespace halvex::testing {

// A recording stand-in for the engine's messenger: the nine FlutterDesktopMessenger functions of
// a test binary that links this library act on the FakeMessenger whose messenger() they are
// given. It records every call, delivers messages to the registered callbacks, and notes every
// misuse (a response handle used twice, a response sent without the lock, an unbalanced unlock
// or release) in misuses(). Thread-safe; the fake must outlive every reply closure.
class FakeMessenger {
 public:
  enum class SendWithReplyMode {
    kHold,    // true; the reply waits for AnswerPendingReply.
    kFail,    // false; the reply is never called.
    kAnswer,  // true; the reply is called with the configured answer before the call returns.
  };

  struct SetCallbackCall {
    std::string channel;
    FlutterDesktopMessageCallback callback;
    void* user_data;
  };

  struct Registration {
    FlutterDesktopMessageCallback callback;
    void* user_data;
  };

  struct Response {
    const FlutterDesktopMessageResponseHandle* handle;
    std::vector<uint8_t> bytes;
    bool data_was_null;
    // Whether the calling thread held the messenger's lock.
    bool lock_held;
    std::thread::id thread;
  };

  struct SentMessage {
    std::string channel;
    std::vector<uint8_t> bytes;
    bool wants_reply;
  };

  FakeMessenger();
  ~FakeMessenger();

  FakeMessenger(const FakeMessenger&) = delete;
  FakeMessenger& operator=(const FakeMessenger&) = delete;

  FlutterDesktopMessengerRef messenger() const;

  // Incoming messages. Each delivery gets a fresh response handle. Returns nullptr, and calls
  // nothing, when the channel has no callback.
  const FlutterDesktopMessageResponseHandle* Deliver(const std::string& channel,
                                                     const std::vector<uint8_t>& message);
  // Delivers and returns the response sent by the time the callback returned, or nullopt when
  // none was (or when the channel has no callback).
  std::optional<std::vector<uint8_t>> DeliverAndGetResponse(const std::string& channel,
                                                            const std::vector<uint8_t>& message);
  std::optional<Response> ResponseFor(const FlutterDesktopMessageResponseHandle* handle) const;
  // Waits until a response for `handle` has been sent, for replies given on other threads.
  std::optional<Response> WaitForResponse(const FlutterDesktopMessageResponseHandle* handle,
                                          std::chrono::milliseconds timeout) const;
  std::vector<Response> responses() const;

  std::vector<SetCallbackCall> set_callback_calls() const;
  std::optional<Registration> RegistrationFor(const std::string& channel) const;

  // While unavailable, FlutterDesktopMessengerIsAvailable answers false.
  void SetAvailable(bool available);

  int lock_count() const;
  int unlock_count() const;
  int add_ref_count() const;
  int release_count() const;
  // References taken with AddRef and not yet released.
  int outstanding_references() const;
  std::vector<std::string> misuses() const;

  std::vector<SentMessage> sent_messages() const;
  void SetSendWithReplyMode(SendWithReplyMode mode, std::vector<uint8_t> answer = {});
  size_t pending_reply_count() const;
  // Calls the oldest pending reply callback with `reply` (nullopt: no bytes, null pointer).
  // False when none is pending.
  bool AnswerPendingReply(const std::optional<std::vector<uint8_t>>& reply);

  // What the engine functions call; tests use the functions, not these.
  void OnSetCallback(const char* channel, FlutterDesktopMessageCallback callback, void* user_data);
  bool OnSend(const char* channel,
              const uint8_t* message,
              size_t message_size,
              FlutterDesktopBinaryReply reply,
              void* user_data);
  void OnAddRef();
  void OnRelease();
  void OnLock();
  void OnUnlock();
  bool OnIsAvailable() const;
  void OnSendResponse(const FlutterDesktopMessageResponseHandle* handle,
                      const uint8_t* data,
                      size_t data_length);

 private:
  struct PendingReply {
    FlutterDesktopBinaryReply reply;
    void* user_data;
  };
  struct HandleState;

  void NoteMisuse(std::string what);  // Callers hold state_mutex_.
  HandleState* FindHandle(const FlutterDesktopMessageResponseHandle* handle) const;

  std::unique_ptr<FlutterDesktopMessenger> messenger_;

  // The messenger's own lock, as FlutterDesktopMessengerLock takes it.
  std::mutex messenger_lock_;

  mutable std::mutex state_mutex_;
  mutable std::condition_variable response_sent_;
  std::vector<SetCallbackCall> set_callback_calls_;
  std::vector<std::pair<std::string, Registration>> registrations_;
  std::deque<std::unique_ptr<HandleState>> handles_;
  std::vector<Response> responses_;
  std::vector<SentMessage> sent_messages_;
  std::deque<PendingReply> pending_replies_;
  SendWithReplyMode send_with_reply_mode_ = SendWithReplyMode::kHold;
  std::vector<uint8_t> send_with_reply_answer_;
  std::vector<std::string> misuses_;
  std::optional<std::thread::id> lock_holder_;
  bool available_ = true;
  int lock_count_ = 0;
  int unlock_count_ = 0;
  int add_ref_count_ = 0;
  int release_count_ = 0;
};

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_SUPPORT_FAKE_MESSENGER_H_
