// Test controls of the engine library. One record per process, like the library's own state.
#include "testing_state.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace halvex::engine {
namespace {

struct Controls {
  std::mutex lock;
  std::map<UINT, LRESULT> consumed_messages;
  bool fail_view_controller_creation = false;
  bool application_disabled = false;
  engine_testing::EngineCallCounts counts;
  engine_testing::RecordedEngineProperties properties;
  int view_width = 0;
  int view_height = 0;
  std::vector<std::string> registrar_requests;
  std::vector<std::string> channel_registrations;
};

Controls& TheControls() {
  static Controls* controls = new Controls();  // never destroyed: used until the process ends
  return *controls;
}

std::wstring CopyWide(const wchar_t* text) {
  return text == nullptr ? std::wstring() : std::wstring(text);
}

}  // namespace

void CountCall(CountedCall call) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  engine_testing::EngineCallCounts& counts = controls.counts;
  switch (call) {
    case CountedCall::kEngineCreate:
      ++counts.engine_create;
      break;
    case CountedCall::kEngineDestroy:
      ++counts.engine_destroy;
      break;
    case CountedCall::kReloadSystemFonts:
      ++counts.reload_system_fonts;
      break;
    case CountedCall::kViewControllerCreate:
      ++counts.view_controller_create;
      break;
    case CountedCall::kViewControllerDestroy:
      ++counts.view_controller_destroy;
      break;
    case CountedCall::kForceRedraw:
      ++counts.force_redraw;
      break;
    case CountedCall::kResyncOutputStreams:
      ++counts.resync_output_streams;
      break;
    case CountedCall::kNextFrameCallbackRun:
      ++counts.next_frame_callbacks_run;
      break;
  }
}

void RecordEngineProperties(const FlutterDesktopEngineProperties& properties) {
  engine_testing::RecordedEngineProperties recorded;
  recorded.assets_path = CopyWide(properties.assets_path);
  recorded.icu_data_path = CopyWide(properties.icu_data_path);
  recorded.aot_library_path = CopyWide(properties.aot_library_path);
  recorded.entrypoint_was_null = properties.entrypoint == nullptr;
  recorded.entrypoint = properties.entrypoint == nullptr ? "" : properties.entrypoint;
  recorded.entrypoint_argc = properties.entrypoint_argc;
  recorded.entrypoint_argv_was_null = properties.entrypoint_argv == nullptr;
  for (int32_t i = 0; properties.entrypoint_argv != nullptr && i < properties.entrypoint_argc;
       ++i) {
    const char* argument = properties.entrypoint_argv[i];
    recorded.entrypoint_arguments.emplace_back(argument == nullptr ? "" : argument);
  }
  for (int i = 0; i < 4; ++i) {
    recorded.engine_options[i] = properties.engine_options[i];
  }
  recorded.engine_option_flag = properties.engine_option_flag;

  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.properties = std::move(recorded);
}

void RecordViewControllerSize(int width, int height) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.view_width = width;
  controls.view_height = height;
}

void RecordRegistrarRequest(const char* plugin_name) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.registrar_requests.emplace_back(plugin_name);
}

void RecordChannelRegistration(const char* channel) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.channel_registrations.emplace_back(channel);
}

std::optional<LRESULT> ConsumedTopLevelMessageResult(UINT message) {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  auto found = controls.consumed_messages.find(message);
  if (found == controls.consumed_messages.end()) {
    return std::nullopt;
  }
  return found->second;
}

bool ViewControllerCreationFails() {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.fail_view_controller_creation;
}

bool ApplicationDisabled() {
  Controls& controls = TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.application_disabled;
}

}  // namespace halvex::engine

namespace halvex::engine_testing {

void ResetEngineTesting() {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.consumed_messages.clear();
  controls.fail_view_controller_creation = false;
  controls.application_disabled = false;
  controls.counts = EngineCallCounts();
  controls.properties = RecordedEngineProperties();
  controls.view_width = 0;
  controls.view_height = 0;
  controls.registrar_requests.clear();
  controls.channel_registrations.clear();
}

void ConsumeTopLevelMessage(uint32_t message, intptr_t result) {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.consumed_messages[message] = static_cast<LRESULT>(result);
}

void FailViewControllerCreation(bool fail) {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.fail_view_controller_creation = fail;
}

void DisableApplication(bool disable) {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  controls.application_disabled = disable;
}

EngineCallCounts CallCounts() {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.counts;
}

RecordedEngineProperties LastEngineProperties() {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.properties;
}

void LastViewControllerSize(int* width, int* height) {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  if (width != nullptr) {
    *width = controls.view_width;
  }
  if (height != nullptr) {
    *height = controls.view_height;
  }
}

std::vector<std::string> RegistrarRequests() {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.registrar_requests;
}

std::vector<std::string> ChannelRegistrations() {
  engine::Controls& controls = engine::TheControls();
  std::lock_guard<std::mutex> guard(controls.lock);
  return controls.channel_registrations;
}

}  // namespace halvex::engine_testing
