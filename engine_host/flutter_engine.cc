#include "engine_host/flutter_engine.h"

#include <cstring>
#include <utility>
#include <vector>

#include "messaging/diagnostic.h"

namespace flutter {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  FlutterDesktopEngineProperties properties;
  // Zeroed as a whole, so the filler bytes of the record are zero too.
  std::memset(&properties, 0, sizeof(properties));
  properties.assets_path = project.asset_directory.c_str();
  properties.icu_data_path = project.icu_data_file.c_str();
  properties.aot_library_path = project.aot_library_file.c_str();
  properties.entrypoint = project.entrypoint.c_str();
  for (size_t i = 0; i < project.engine_options.size(); ++i) {
    properties.engine_options[i] = project.engine_options[i];
  }
  properties.engine_option_flag = project.engine_option_flag;

  std::vector<const char*> arguments;
  arguments.reserve(project.entrypoint_arguments.size());
  for (const std::string& argument : project.entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }
  properties.entrypoint_argc = static_cast<int32_t>(arguments.size());
  properties.entrypoint_argv = arguments.empty() ? nullptr : arguments.data();

  handle_ = FlutterDesktopEngineCreate(&properties);
  // A refused engine shows up later as a refused view controller; asking a missing engine for
  // its messenger is left out.
  FlutterDesktopMessengerRef messenger =
      handle_ == nullptr ? nullptr : FlutterDesktopEngineGetMessenger(handle_);
  messenger_ = std::make_unique<BinaryMessengerImpl>(messenger);
}

FlutterEngine::~FlutterEngine() {
  if (handle_ != nullptr && owns_handle_) {
    FlutterDesktopEngineDestroy(handle_);
  }
  handle_ = nullptr;
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::RegistrarForPlugin(const std::string& plugin_name) {
  if (handle_ == nullptr) {
    halvex::PrintDiagnosticLine(
        "Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(handle_, plugin_name.c_str());
}

FlutterDesktopEngineRef FlutterEngine::ReleaseHandle() {
  owns_handle_ = false;
  return handle_;
}

void FlutterEngine::ReloadFonts() {
  if (handle_ != nullptr) {
    FlutterDesktopEngineReloadSystemFonts(handle_);
  }
}

void FlutterEngine::OnNextFrame(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  if (handle_ != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(handle_, &FlutterEngine::NextFrameTrampoline, this);
  }
}

BinaryMessenger* FlutterEngine::Messenger() {
  return messenger_.get();
}

void FlutterEngine::NextFrameTrampoline(void* user_data) {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before the call: the callback may set the next one, and must not be destroyed
  // while it runs.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) {
    callback();
  }
}

}  // namespace flutter
