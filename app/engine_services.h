// The demo's side of the engine's application interface: sending messages and reporting frames.
#ifndef HALVEX_APP_ENGINE_SERVICES_H_
#define HALVEX_APP_ENGINE_SERVICES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/image.h"
#include "platform/engine/halvex_app.h"

namespace halvex {
namespace demo {

class EngineServices {
 public:
  // Whether the engine handed over a record with at least send_message and frame_drawn. Says why
  // not in `error`. A record that ends before post_message and await_reply is usable: such an
  // engine gets one message at a time.
  static bool IsUsable(const HalvexEngineServices* services, std::string* error);

  // `services` must be usable and outlive this object.
  explicit EngineServices(const HalvexEngineServices& services);

  // Sends `message` on `channel` and waits for the answer. Returns false when no answer will come
  // (the engine is shutting down). Otherwise `reply` holds a copy of the answer's bytes, empty for
  // an empty answer: the engine's own buffer lasts only until the next call.
  bool Send(const std::string& channel,
            const std::vector<uint8_t>& message,
            std::vector<uint8_t>* reply);

  // Whether the engine offers post_message and await_reply, so that several messages can wait
  // for their answers at once.
  bool CanPost() const;

  // Queues `message` on `channel` without waiting. Returns the ticket to await, or 0 when no
  // answer will come (the engine is shutting down). Only when CanPost().
  uint64_t Post(const std::string& channel, const std::vector<uint8_t>& message);

  // Waits for the answer of `ticket`, as Send does for its message. Only when CanPost().
  bool Await(uint64_t ticket, std::vector<uint8_t>* reply);

  void FrameDrawn();

  // Whether the engine offers present_frame, so that its view can show what the demo draws.
  bool CanPresent() const;

  // Hands `picture` to the engine's view. Returns false when the engine has no view to show it
  // in (an older engine) or refused it (shutting down, or a picture it cannot take).
  bool PresentFrame(const Image& picture);

 private:
  const HalvexEngineServices& services_;
  std::vector<uint8_t> present_buffer_;  // the picture in the engine's layout, reused each frame
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_ENGINE_SERVICES_H_
