#include "tests/support/fake_messenger.h"

#include <algorithm>
#include <utility>

struct FlutterDesktopMessenger {
  halvex::testing::FakeMessenger* fake;
};

struct FlutterDesktopMessageResponseHandle {
  uint64_t serial;
};

namespace halvex::testing {

struct FakeMessenger::HandleState {
  FlutterDesktopMessageResponseHandle handle;
  bool used = false;
};

FakeMessenger::FakeMessenger() : messenger_(new FlutterDesktopMessenger{this}) {}

FakeMessenger::~FakeMessenger() = default;

FlutterDesktopMessengerRef FakeMessenger::messenger() const {
  return messenger_.get();
}

const FlutterDesktopMessageResponseHandle* FakeMessenger::Deliver(
    const std::string& channel,
    const std::vector<uint8_t>& message) {
  Registration registration{};
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    auto found = std::find_if(registrations_.begin(), registrations_.end(),
                              [&channel](const auto& entry) { return entry.first == channel; });
    if (found == registrations_.end()) {
      return nullptr;
    }
    registration = found->second;
    auto state = std::make_unique<HandleState>();
    state->handle.serial = handles_.size() + 1;
    handle = &state->handle;
    handles_.push_back(std::move(state));
  }
  FlutterDesktopMessage record{};
  record.struct_size = sizeof(FlutterDesktopMessage);
  record.channel = channel.c_str();
  record.message = message.empty() ? nullptr : message.data();
  record.message_size = message.size();
  record.response_handle = handle;
  // Called without any lock held, as the engine does: the callback may answer at once.
  registration.callback(messenger_.get(), &record, registration.user_data);
  return handle;
}

std::optional<std::vector<uint8_t>> FakeMessenger::DeliverAndGetResponse(
    const std::string& channel,
    const std::vector<uint8_t>& message) {
  const FlutterDesktopMessageResponseHandle* handle = Deliver(channel, message);
  if (handle == nullptr) {
    return std::nullopt;
  }
  std::optional<Response> response = ResponseFor(handle);
  if (!response) {
    return std::nullopt;
  }
  return response->bytes;
}

std::optional<FakeMessenger::Response> FakeMessenger::ResponseFor(
    const FlutterDesktopMessageResponseHandle* handle) const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  for (const Response& response : responses_) {
    if (response.handle == handle) {
      return response;
    }
  }
  return std::nullopt;
}

std::optional<FakeMessenger::Response> FakeMessenger::WaitForResponse(
    const FlutterDesktopMessageResponseHandle* handle,
    std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_mutex_);
  std::optional<Response> found;
  response_sent_.wait_for(lock, timeout, [&] {
    for (const Response& response : responses_) {
      if (response.handle == handle) {
        found = response;
        return true;
      }
    }
    return false;
  });
  return found;
}

std::vector<FakeMessenger::Response> FakeMessenger::responses() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return responses_;
}

std::vector<FakeMessenger::SetCallbackCall> FakeMessenger::set_callback_calls() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return set_callback_calls_;
}

std::optional<FakeMessenger::Registration> FakeMessenger::RegistrationFor(
    const std::string& channel) const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  for (const auto& [name, registration] : registrations_) {
    if (name == channel) {
      return registration;
    }
  }
  return std::nullopt;
}

void FakeMessenger::SetAvailable(bool available) {
  std::lock_guard<std::mutex> lock(state_mutex_);
  available_ = available;
}

int FakeMessenger::lock_count() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return lock_count_;
}

int FakeMessenger::unlock_count() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return unlock_count_;
}

int FakeMessenger::add_ref_count() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return add_ref_count_;
}

int FakeMessenger::release_count() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return release_count_;
}

int FakeMessenger::outstanding_references() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return add_ref_count_ - release_count_;
}

std::vector<std::string> FakeMessenger::misuses() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return misuses_;
}

std::vector<FakeMessenger::SentMessage> FakeMessenger::sent_messages() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return sent_messages_;
}

void FakeMessenger::SetSendWithReplyMode(SendWithReplyMode mode, std::vector<uint8_t> answer) {
  std::lock_guard<std::mutex> lock(state_mutex_);
  send_with_reply_mode_ = mode;
  send_with_reply_answer_ = std::move(answer);
}

size_t FakeMessenger::pending_reply_count() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return pending_replies_.size();
}

bool FakeMessenger::AnswerPendingReply(const std::optional<std::vector<uint8_t>>& reply) {
  PendingReply pending{};
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (pending_replies_.empty()) {
      return false;
    }
    pending = pending_replies_.front();
    pending_replies_.pop_front();
  }
  if (reply) {
    pending.reply(reply->empty() ? nullptr : reply->data(), reply->size(), pending.user_data);
  } else {
    pending.reply(nullptr, 0, pending.user_data);
  }
  return true;
}

void FakeMessenger::OnSetCallback(const char* channel,
                                  FlutterDesktopMessageCallback callback,
                                  void* user_data) {
  std::lock_guard<std::mutex> lock(state_mutex_);
  std::string name = channel != nullptr ? channel : "";
  if (channel == nullptr) {
    NoteMisuse("SetCallback without a channel name");
  }
  set_callback_calls_.push_back({name, callback, user_data});
  auto found = std::find_if(registrations_.begin(), registrations_.end(),
                            [&name](const auto& entry) { return entry.first == name; });
  if (callback == nullptr) {
    if (found != registrations_.end()) {
      registrations_.erase(found);
    }
    return;
  }
  if (found != registrations_.end()) {
    found->second = {callback, user_data};
  } else {
    registrations_.emplace_back(name, Registration{callback, user_data});
  }
}

bool FakeMessenger::OnSend(const char* channel,
                           const uint8_t* message,
                           size_t message_size,
                           FlutterDesktopBinaryReply reply,
                           void* user_data) {
  std::vector<uint8_t> answer;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    SentMessage sent{channel != nullptr ? channel : "", {}, reply != nullptr};
    if (message_size > 0) {
      if (message == nullptr) {
        NoteMisuse("Send of a non-empty message without bytes");
      } else {
        sent.bytes.assign(message, message + message_size);
      }
    }
    sent_messages_.push_back(std::move(sent));
    if (reply == nullptr) {
      return true;
    }
    switch (send_with_reply_mode_) {
      case SendWithReplyMode::kFail:
        return false;
      case SendWithReplyMode::kHold:
        pending_replies_.push_back({reply, user_data});
        return true;
      case SendWithReplyMode::kAnswer:
        answer = send_with_reply_answer_;
        break;
    }
  }
  reply(answer.empty() ? nullptr : answer.data(), answer.size(), user_data);
  return true;
}

void FakeMessenger::OnAddRef() {
  std::lock_guard<std::mutex> lock(state_mutex_);
  ++add_ref_count_;
}

void FakeMessenger::OnRelease() {
  std::lock_guard<std::mutex> lock(state_mutex_);
  ++release_count_;
  if (release_count_ > add_ref_count_) {
    NoteMisuse("Release without a matching AddRef");
  }
}

void FakeMessenger::OnLock() {
  messenger_lock_.lock();
  std::lock_guard<std::mutex> lock(state_mutex_);
  lock_holder_ = std::this_thread::get_id();
  ++lock_count_;
}

void FakeMessenger::OnUnlock() {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (lock_holder_ != std::this_thread::get_id()) {
      NoteMisuse("Unlock by a thread that does not hold the lock");
      return;
    }
    lock_holder_.reset();
    ++unlock_count_;
  }
  messenger_lock_.unlock();
}

bool FakeMessenger::OnIsAvailable() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return available_;
}

void FakeMessenger::OnSendResponse(const FlutterDesktopMessageResponseHandle* handle,
                                   const uint8_t* data,
                                   size_t data_length) {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    Response response{handle,
                      {},
                      data == nullptr,
                      lock_holder_ == std::this_thread::get_id(),
                      std::this_thread::get_id()};
    if (!response.lock_held) {
      NoteMisuse("SendResponse without holding the messenger's lock");
    }
    if (!available_) {
      NoteMisuse("SendResponse while the messenger is unavailable");
    }
    HandleState* state = FindHandle(handle);
    if (state == nullptr) {
      NoteMisuse("SendResponse with a handle the engine never issued");
    } else if (state->used) {
      NoteMisuse("SendResponse with a handle that was already used");
    } else {
      state->used = true;
    }
    if (data_length > 0) {
      if (data == nullptr) {
        NoteMisuse("SendResponse of a non-empty reply without bytes");
      } else {
        response.bytes.assign(data, data + data_length);
      }
    }
    responses_.push_back(std::move(response));
  }
  response_sent_.notify_all();
}

void FakeMessenger::NoteMisuse(std::string what) {
  misuses_.push_back(std::move(what));
}

FakeMessenger::HandleState* FakeMessenger::FindHandle(
    const FlutterDesktopMessageResponseHandle* handle) const {
  for (const auto& state : handles_) {
    if (&state->handle == handle) {
      return state.get();
    }
  }
  return nullptr;
}

}  // namespace halvex::testing

// The engine's messenger functions, acting on the fake behind the handle.

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  messenger->fake->OnSetCallback(channel, callback, user_data);
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel,
                                 const uint8_t* message,
                                 size_t message_size) {
  return messenger->fake->OnSend(channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* message,
                                          size_t message_size,
                                          FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return messenger->fake->OnSend(channel, message, message_size, reply, user_data);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  messenger->fake->OnAddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  messenger->fake->OnRelease();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  messenger->fake->OnLock();
  return messenger;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  return messenger->fake->OnIsAvailable();
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data,
                                         size_t data_length) {
  messenger->fake->OnSendResponse(handle, data, data_length);
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  messenger->fake->OnUnlock();
}
