#include "engine_library_fake.h"

#include <cstring>
#include <sstream>

namespace halvex::testing {
namespace {

FakeEngineLibrary* current_fake = nullptr;

FakeEngineLibrary& Fake() {
  return *current_fake;
}

void Record(const std::string& call) {
  if (current_fake != nullptr) {
    current_fake->calls.push_back(call);
  }
}

}  // namespace

std::string PointerText(const void* pointer) {
  std::ostringstream text;
  text << pointer;
  return text.str();
}

void FakeEngineLibrary::DrawFrame() {
  if (next_frame_callback != nullptr) {
    next_frame_callback(next_frame_user_data);
  }
}

ScopedFakeEngineLibrary::ScopedFakeEngineLibrary() {
  current_fake = &fake_;
}

ScopedFakeEngineLibrary::~ScopedFakeEngineLibrary() {
  current_fake = nullptr;
}

}  // namespace halvex::testing

using halvex::testing::Fake;
using halvex::testing::PointerText;
using halvex::testing::Record;

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* props) {
  Record("EngineCreate");
  halvex::testing::SeenProperties seen;
  std::memcpy(seen.bytes.data(), props, sizeof(*props));
  seen.assets_path = props->assets_path;
  seen.icu_data_path = props->icu_data_path;
  seen.aot_library_path = props->aot_library_path;
  seen.entrypoint_null = props->entrypoint == nullptr;
  if (props->entrypoint != nullptr) {
    seen.entrypoint = props->entrypoint;
  }
  for (int32_t i = 0; props->entrypoint_argv != nullptr && i < props->entrypoint_argc; ++i) {
    seen.arguments.emplace_back(props->entrypoint_argv[i]);
  }
  Fake().properties.push_back(seen);
  return Fake().refuse_engine ? nullptr : Fake().engine;
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Record("EngineDestroy(" + PointerText(engine) + ")");
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  Record("EngineGetMessenger(" + PointerText(engine) + ")");
  return Fake().messenger;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine,
    const char* plugin_name) {
  Record("EngineGetPluginRegistrar(" + PointerText(engine) + ", " + plugin_name + ")");
  return Fake().registrar;
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  Record("EngineSetNextFrameCallback(" + PointerText(engine) + ")");
  Fake().next_frame_callback = callback;
  Fake().next_frame_user_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Record("EngineReloadSystemFonts(" + PointerText(engine) + ")");
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width,
                                                                   int height,
                                                                   FlutterDesktopEngineRef engine) {
  Record("ViewControllerCreate(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
         PointerText(engine) + ")");
  return Fake().refuse_view_controller ? nullptr : Fake().controller;
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  Record("ViewControllerDestroy(" + PointerText(controller) + ")");
  if (Fake().on_view_controller_destroy) {
    Fake().on_view_controller_destroy();
  }
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  Record("ViewControllerGetView(" + PointerText(controller) + ")");
  return Fake().view;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Record("ViewGetHWND(" + PointerText(view) + ")");
  return Fake().view_window;
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    HWND hwnd,
    UINT message,
    WPARAM wparam,
    LPARAM lparam,
    LRESULT* result) {
  Record("ViewControllerHandleTopLevelWindowProc(" + PointerText(controller) + ", " +
         PointerText(hwnd) + ", " + std::to_string(message) + ", " + std::to_string(wparam) + ", " +
         std::to_string(lparam) + ")");
  if (!Fake().top_level_result.has_value()) {
    return false;
  }
  *result = *Fake().top_level_result;
  return true;
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  Record("ViewControllerForceRedraw(" + PointerText(controller) + ")");
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  Record("PluginRegistrarGetMessenger(" + PointerText(registrar) + ")");
  return Fake().messenger;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR /*monitor*/) {
  Record("GetDpiForMonitor");
  return 96;
}

void FlutterDesktopResyncOutputStreams(void) {
  Record("ResyncOutputStreams");
}

}  // extern "C"
