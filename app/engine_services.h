// The demo's side of the engine's application interface: sending messages and reporting frames.
#ifndef HALVEX_APP_ENGINE_SERVICES_H_
#define HALVEX_APP_ENGINE_SERVICES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/engine/halvex_app.h"

namespace halvex {
namespace demo {

class EngineServices {
 public:
  // Whether the engine handed over a complete record with both services. Says why not in `error`.
  static bool IsUsable(const HalvexEngineServices* services, std::string* error);

  // `services` must be usable and outlive this object.
  explicit EngineServices(const HalvexEngineServices& services);

  // Sends `message` on `channel` and waits for the answer. Returns false when no answer will come
  // (the engine is shutting down). Otherwise `reply` holds a copy of the answer's bytes, empty for
  // an empty answer: the engine's own buffer lasts only until the next call.
  bool Send(const std::string& channel,
            const std::vector<uint8_t>& message,
            std::vector<uint8_t>* reply);

  void FrameDrawn();

 private:
  const HalvexEngineServices& services_;
};

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_ENGINE_SERVICES_H_
