#ifndef HALVEX_ENGINE_HOST_FLUTTER_ENGINE_H_
#define HALVEX_ENGINE_HOST_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "engine_host/engine_library_windows.h"
#include "engine_host/engine_project.h"
#include "engine_host/plugin_registry.h"
#include "messaging/binary_messenger.h"
#include "messaging/binary_messenger_impl.h"

namespace flutter {

// Owns an engine of the engine library until the handle is released to a view controller, and
// the messenger wrapper for the engine's messenger for as long as it lives. Used on the platform
// thread only.
class FlutterEngine : public PluginRegistry {
 public:
  // Creates the engine from `project`; the library copies what it keeps of the project.
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) override;

  // Gives up ownership of the engine (the wrapper then never destroys it) and returns it. The
  // wrapper goes on using the handle for its other calls.
  FlutterDesktopEngineRef ReleaseHandle();

  void ReloadFonts();

  // Runs `callback` once, on the platform thread, after the engine's next frame. Replaces (and
  // destroys uncalled) a callback set before.
  void OnNextFrame(std::function<void()> callback);

  BinaryMessenger* Messenger();

  // The function given to the engine library for the next-frame callback; `user_data` is the
  // FlutterEngine.
  static void NextFrameTrampoline(void* user_data);

 private:
  FlutterDesktopEngineRef handle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_handle_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // HALVEX_ENGINE_HOST_FLUTTER_ENGINE_H_
