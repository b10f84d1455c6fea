#include "bench/direct_messenger.h"

#include <sys/resource.h>
#include <time.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "messaging/byte_buffer_streams.h"
#include "messaging/method_call.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace halvex::bench {
namespace {

double ThreadProcessorSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

rusage ThreadUsage() {
  rusage usage = {};
  getrusage(RUSAGE_THREAD, &usage);
  return usage;
}

}  // namespace

// Shared with every reply closure, so that an answer coming after the messenger has gone finds
// something to drop it into.
struct DirectMessenger::Answers {
  struct Entry {
    bool answered = false;
    Reply reply;
  };

  // The first answer counts; a second one for the same message is dropped.
  void Answer(Ticket ticket, const uint8_t* bytes, size_t size) {
    const Clock::time_point now = Clock::now();
    {
      std::lock_guard<std::mutex> lock(mutex);
      const auto entry = entries.find(ticket);
      if (entry == entries.end() || entry->second.answered) {
        return;
      }
      entry->second.answered = true;
      entry->second.reply.answered = now;
      if (bytes != nullptr && size > 0) {
        entry->second.reply.bytes.assign(bytes, bytes + size);
      }
    }
    changed.notify_all();
  }

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::map<Ticket, Entry> entries;
};

DirectMessenger::DirectMessenger() : answers_(std::make_shared<Answers>()) {}

DirectMessenger::~DirectMessenger() {
  std::lock_guard<std::mutex> lock(answers_->mutex);
  answers_->entries.clear();
}

void DirectMessenger::Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const {
}

void DirectMessenger::SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) {
  handler_ = std::move(handler);
}

DirectMessenger::Delivery DirectMessenger::Deliver(const std::vector<uint8_t>& message) {
  Delivery delivery;
  delivery.ticket = nextTicket_++;
  delivery.delivered = Clock::now();
  {
    std::lock_guard<std::mutex> lock(answers_->mutex);
    answers_->entries[delivery.ticket].reply.delivered = delivery.delivered;
  }
  if (!handler_) {
    answers_->Answer(delivery.ticket, nullptr, 0);
    return delivery;
  }
  std::shared_ptr<Answers> answers = answers_;
  const Ticket ticket = delivery.ticket;
  const rusage usageBefore = ThreadUsage();
  const double processorBefore = ThreadProcessorSeconds();
  const Clock::time_point handlerStart = Clock::now();
  handler_(message.data(), message.size(), [answers, ticket](const uint8_t* reply, size_t size) {
    answers->Answer(ticket, reply, size);
  });
  delivery.handlerTime = Clock::now() - handlerStart;
  delivery.handlerProcessorSeconds = ThreadProcessorSeconds() - processorBefore;
  const rusage usageAfter = ThreadUsage();
  delivery.handlerPageFaults =
      usageAfter.ru_minflt - usageBefore.ru_minflt + usageAfter.ru_majflt - usageBefore.ru_majflt;
  delivery.handlerWaits = usageAfter.ru_nvcsw - usageBefore.ru_nvcsw;
  delivery.handlerPreemptions = usageAfter.ru_nivcsw - usageBefore.ru_nivcsw;
  return delivery;
}

std::optional<DirectMessenger::Reply> DirectMessenger::WaitForReply(Ticket ticket,
                                                                    Clock::duration timeout) {
  std::unique_lock<std::mutex> lock(answers_->mutex);
  auto& entries = answers_->entries;
  if (entries.find(ticket) == entries.end()) {
    return std::nullopt;
  }
  // Looked up again after every wake-up: other answers change the map meanwhile.
  const bool answered = answers_->changed.wait_for(lock, timeout, [&entries, ticket] {
    const auto entry = entries.find(ticket);
    return entry == entries.end() || entry->second.answered;
  });
  const auto entry = entries.find(ticket);
  if (!answered || entry == entries.end()) {
    return std::nullopt;
  }
  Reply reply = std::move(entry->second.reply);
  entries.erase(entry);
  return reply;
}

std::optional<DirectMessenger::Reply> DirectMessenger::Call(const std::vector<uint8_t>& message) {
  return WaitForReply(Deliver(message).ticket);
}

size_t DirectMessenger::Unanswered() const {
  std::lock_guard<std::mutex> lock(answers_->mutex);
  size_t unanswered = 0;
  for (const auto& [ticket, entry] : answers_->entries) {
    unanswered += entry.answered ? 0 : 1;
  }
  return unanswered;
}

std::vector<uint8_t> EncodeCall(const std::string& method, flutter::EncodableValue arguments) {
  const flutter::MethodCall call(method,
                                 std::make_unique<flutter::EncodableValue>(std::move(arguments)));
  return *flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
}

flutter::EncodableValue DecodeSuccess(const std::vector<uint8_t>& answer) {
  if (answer.empty() || answer[0] != 0) {
    return flutter::EncodableValue();
  }
  flutter::ByteBufferStreamReader reader(answer.data() + 1, answer.size() - 1);
  return flutter::StandardCodecSerializer::GetInstance().ReadValue(&reader);
}

int32_t FramesIn(const flutter::EncodableValue& report) {
  const auto* map = std::get_if<flutter::EncodableMap>(&report);
  if (map == nullptr) {
    return -1;
  }
  const auto entry = map->find(flutter::EncodableValue("frames"));
  if (entry == map->end()) {
    return -1;
  }
  const auto* frames = std::get_if<int32_t>(&entry->second);
  return frames == nullptr ? -1 : *frames;
}

}  // namespace halvex::bench
