#include "app/engine_services.h"

#include <cstddef>

namespace halvex {
namespace demo {
namespace {

// The record as first published: everything up to frame_drawn.
constexpr size_t kFirstRecordSize = offsetof(HalvexEngineServices, post_message);

}  // namespace

bool EngineServices::IsUsable(const HalvexEngineServices* services, std::string* error) {
  if (services == nullptr) {
    *error = "the engine passed no services";
    return false;
  }
  // An older or foreign engine may hand over a shorter record; reading past it would be unsafe.
  // The first record ended with frame_drawn: anything from there on is optional.
  if (!HALVEX_ENGINE_SERVICES_HAS(services, frame_drawn)) {
    *error = "the engine's services record is too small (" + std::to_string(services->struct_size) +
             " bytes, at least " + std::to_string(kFirstRecordSize) + " expected)";
    return false;
  }
  if (services->send_message == nullptr || services->frame_drawn == nullptr) {
    *error = "the engine's services record lacks send_message or frame_drawn";
    return false;
  }
  return true;
}

EngineServices::EngineServices(const HalvexEngineServices& services) : services_(services) {}

bool EngineServices::Send(const std::string& channel,
                          const std::vector<uint8_t>& message,
                          std::vector<uint8_t>* reply) {
  reply->clear();
  const uint8_t* reply_bytes = nullptr;
  size_t reply_size = 0;
  const int answered = services_.send_message(services_.engine, channel.c_str(), message.data(),
                                              message.size(), &reply_bytes, &reply_size);
  if (answered == 0) {
    return false;
  }
  if (reply_bytes != nullptr && reply_size > 0) {
    reply->assign(reply_bytes, reply_bytes + reply_size);
  }
  return true;
}

bool EngineServices::CanPost() const {
  return HALVEX_ENGINE_SERVICES_HAS(&services_, post_message) &&
         HALVEX_ENGINE_SERVICES_HAS(&services_, await_reply) && services_.post_message != nullptr &&
         services_.await_reply != nullptr;
}

uint64_t EngineServices::Post(const std::string& channel, const std::vector<uint8_t>& message) {
  return services_.post_message(services_.engine, channel.c_str(), message.data(), message.size());
}

bool EngineServices::Await(uint64_t ticket, std::vector<uint8_t>* reply) {
  reply->clear();
  const uint8_t* reply_bytes = nullptr;
  size_t reply_size = 0;
  if (services_.await_reply(services_.engine, ticket, &reply_bytes, &reply_size) == 0) {
    return false;
  }
  if (reply_bytes != nullptr && reply_size > 0) {
    reply->assign(reply_bytes, reply_bytes + reply_size);
  }
  return true;
}

void EngineServices::FrameDrawn() {
  services_.frame_drawn(services_.engine);
}

bool EngineServices::CanPresent() const {
  return HALVEX_ENGINE_SERVICES_HAS(&services_, present_frame) &&
         services_.present_frame != nullptr;
}

bool EngineServices::PresentFrame(const Image& picture) {
  if (!CanPresent() || picture.empty()) {
    return false;
  }
  // The engine takes blue, green, red and a spare byte per pixel; the demo draws red, green, blue.
  const size_t pixel_count =
      static_cast<size_t>(picture.width()) * static_cast<size_t>(picture.height());
  present_buffer_.resize(pixel_count * 4);
  const uint8_t* from = picture.pixels().data();
  uint8_t* to = present_buffer_.data();
  for (size_t pixel = 0; pixel < pixel_count; ++pixel, from += 3, to += 4) {
    to[0] = from[2];
    to[1] = from[1];
    to[2] = from[0];
    to[3] = 0;
  }
  return services_.present_frame(services_.engine, present_buffer_.data(), picture.width(),
                                 picture.height(), static_cast<size_t>(picture.width()) * 4) != 0;
}

}  // namespace demo
}  // namespace halvex
