// A recording fake of the engine library's functions, linked into the wrapper tests instead of
// the library, so that what the wrappers pass and in which order can be checked exactly. Its
// messenger is the tests' one messenger fake (tests/support/fake_messenger.h).
#ifndef HALVEX_TESTS_ENGINE_HOST_ENGINE_LIBRARY_FAKE_H_
#define HALVEX_TESTS_ENGINE_HOST_ENGINE_LIBRARY_FAKE_H_

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine_host/engine_library_windows.h"
#include "tests/support/fake_messenger.h"

namespace halvex::testing {

// The properties record as FlutterDesktopEngineCreate saw it during the call.
struct SeenProperties {
  std::array<uint8_t, sizeof(FlutterDesktopEngineProperties)> bytes{};
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool entrypoint_null = true;
  std::string entrypoint;
  std::vector<std::string> arguments;
};

struct FakeEngineLibrary {
  // Scripted answers.
  bool refuse_engine = false;
  bool refuse_view_controller = false;
  std::optional<LRESULT> top_level_result;  // none: the message is not handled
  // Runs inside FlutterDesktopViewControllerDestroy, to look at the wrappers at that moment.
  std::function<void()> on_view_controller_destroy;

  // Handles the fake returns.
  FlutterDesktopEngineRef engine = reinterpret_cast<FlutterDesktopEngineRef>(0x1000);
  // The engine's messenger; what the wrappers do with it is recorded there.
  FakeMessenger messenger_fake;
  FlutterDesktopMessengerRef messenger = messenger_fake.messenger();
  FlutterDesktopViewControllerRef controller =
      reinterpret_cast<FlutterDesktopViewControllerRef>(0x3000);
  FlutterDesktopViewRef view = reinterpret_cast<FlutterDesktopViewRef>(0x4000);
  HWND view_window = reinterpret_cast<HWND>(0x5000);
  FlutterDesktopPluginRegistrarRef registrar =
      reinterpret_cast<FlutterDesktopPluginRegistrarRef>(0x6000);

  // Recorded calls, in order, as "Name(arguments)".
  std::vector<std::string> calls;
  std::vector<SeenProperties> properties;
  FlutterDesktopOnNextFrameCallback next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;

  // Runs the stored next-frame callback as the library would after a frame.
  void DrawFrame();
};

// How the fake writes a handle in its call records.
std::string PointerText(const void* pointer);

// Installs a fresh fake for the lifetime of the object.
class ScopedFakeEngineLibrary {
 public:
  ScopedFakeEngineLibrary();
  ~ScopedFakeEngineLibrary();
  ScopedFakeEngineLibrary(const ScopedFakeEngineLibrary&) = delete;
  ScopedFakeEngineLibrary& operator=(const ScopedFakeEngineLibrary&) = delete;

  FakeEngineLibrary* operator->() { return &fake_; }
  FakeEngineLibrary& operator*() { return fake_; }

 private:
  FakeEngineLibrary fake_;
};

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_ENGINE_HOST_ENGINE_LIBRARY_FAKE_H_
