// The nine messenger functions and the messenger's cross-thread hand-over: the working messenger
// the host and the demo run against (unit tests use the recording fake, tests/support/).
#include "messenger_state.h"

#include <iterator>
#include <utility>

#include "testing_state.h"

using halvex::engine::ChannelCallback;
using halvex::engine::OwedReply;
using halvex::engine::PendingMessage;
using halvex::engine::PlatformWork;

namespace {

uintptr_t ResponseId(const FlutterDesktopMessageResponseHandle* handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

const FlutterDesktopMessageResponseHandle* ResponseHandle(uintptr_t id) {
  return reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(id);
}

void Answer(PendingMessage& message, const uint8_t* data, size_t size) {
  if (data != nullptr && size > 0) {
    message.reply.assign(data, data + size);
  }
  message.state = PendingMessage::State::kAnswered;
}

}  // namespace

void FlutterDesktopMessenger::WakePlatformThread() {
  if (platform_window != nullptr) {
    PostMessageW(platform_window, halvex::engine::kPlatformWorkMessage, 0, 0);
  }
}

std::deque<OwedReply> FlutterDesktopMessenger::ShutDown() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  available = false;
  platform_window = nullptr;
  for (auto& message : queued.messages) {
    message->state = PendingMessage::State::kAbandoned;
  }
  for (auto& entry : awaiting_answer) {
    entry.second->state = PendingMessage::State::kAbandoned;
  }
  queued.messages.clear();
  awaiting_answer.clear();
  for (auto entry = posted.begin(); entry != posted.end();) {
    entry = entry->second->state == PendingMessage::State::kAnswered ? std::next(entry)
                                                                     : posted.erase(entry);
  }
  callbacks.clear();
  answer_arrived.notify_all();
  return std::exchange(queued.owed_replies, {});
}

bool FlutterDesktopMessenger::SendFromApplication(const std::shared_ptr<PendingMessage>& message) {
  std::unique_lock<std::recursive_mutex> guard(lock);
  if (!available) {
    return false;
  }
  queued.messages.push_back(message);
  WakePlatformThread();
  answer_arrived.wait(guard,
                      [&message] { return message->state != PendingMessage::State::kWaiting; });
  return message->state == PendingMessage::State::kAnswered;
}

uint64_t FlutterDesktopMessenger::PostFromApplication(
    const std::shared_ptr<PendingMessage>& message) {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (!available) {
    return 0;
  }
  const uint64_t ticket = next_ticket++;
  posted.emplace(ticket, message);
  queued.messages.push_back(message);
  WakePlatformThread();
  return ticket;
}

bool FlutterDesktopMessenger::AwaitFromApplication(uint64_t ticket, std::vector<uint8_t>* reply) {
  std::unique_lock<std::recursive_mutex> guard(lock);
  auto found = posted.find(ticket);
  if (found == posted.end()) {
    return false;
  }
  // Taken before waiting, so that a second wait for the same ticket returns at once.
  const std::shared_ptr<PendingMessage> message = std::move(found->second);
  posted.erase(found);
  answer_arrived.wait(guard,
                      [&message] { return message->state != PendingMessage::State::kWaiting; });
  if (message->state != PendingMessage::State::kAnswered) {
    return false;
  }
  *reply = std::move(message->reply);
  return true;
}

void FlutterDesktopMessenger::Deliver(const std::shared_ptr<PendingMessage>& message) {
  ChannelCallback target;
  uintptr_t response_id = 0;
  {
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (message->state != PendingMessage::State::kWaiting) {
      return;
    }
    if (!available) {
      // Taken off the queue before the engine shut down: whoever waits for it must still wake.
      message->state = PendingMessage::State::kAbandoned;
      answer_arrived.notify_all();
      return;
    }
    auto found = callbacks.find(message->channel);
    if (found == callbacks.end()) {
      Answer(*message, nullptr, 0);
      answer_arrived.notify_all();
      return;
    }
    target = found->second;
    response_id = next_response_id++;
    awaiting_answer.emplace(response_id, message);
  }
  // The callback runs without the lock: the host may answer from another thread at once.
  FlutterDesktopMessage record = {};
  record.struct_size = sizeof(record);
  record.channel = message->channel.c_str();
  record.message = message->bytes.empty() ? nullptr : message->bytes.data();
  record.message_size = message->bytes.size();
  record.response_handle = ResponseHandle(response_id);
  target.callback(this, &record, target.user_data);
}

PlatformWork FlutterDesktopMessenger::TakePlatformWork() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return std::exchange(queued, {});
}

extern "C" {

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  if (messenger == nullptr || channel == nullptr) {
    return;
  }
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  if (!messenger->available) {
    return;
  }
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
    return;
  }
  messenger->callbacks[channel] = ChannelCallback{callback, user_data};
  halvex::engine::RecordChannelRegistration(channel);
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel,
                                 const uint8_t* /*message*/,
                                 size_t /*message_size*/) {
  // The application has no listeners of its own: a message to it is accepted and dropped.
  if (messenger == nullptr || channel == nullptr) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  return messenger->available;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* /*message*/,
                                          size_t /*message_size*/,
                                          FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  if (messenger == nullptr || channel == nullptr) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  if (!messenger->available) {
    return false;
  }
  // No application channel listens, so the answer is the empty one; it is delivered later on
  // the platform thread, never from inside the send.
  if (reply != nullptr) {
    messenger->queued.owed_replies.push_back(OwedReply{reply, user_data});
    messenger->WakePlatformThread();
  }
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->references.fetch_add(1, std::memory_order_relaxed);
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr && messenger->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete messenger;
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->lock.lock();
  }
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    messenger->lock.unlock();
  }
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) {
    return false;
  }
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  return messenger->available;
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data,
                                         size_t data_length) {
  if (messenger == nullptr) {
    return;
  }
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  // An unknown handle (used before, or from an engine that has shut down) answers nothing.
  auto found = messenger->awaiting_answer.find(ResponseId(handle));
  if (found == messenger->awaiting_answer.end()) {
    return;
  }
  Answer(*found->second, data, data_length);
  messenger->awaiting_answer.erase(found);
  messenger->answer_arrived.notify_all();
}

}  // extern "C"
