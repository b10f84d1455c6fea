// The engine library's side of the test controls in engine_testing.h: what the library records
// and what it asks the controls.
#ifndef HALVEX_PLATFORM_ENGINE_SRC_TESTING_STATE_H_
#define HALVEX_PLATFORM_ENGINE_SRC_TESTING_STATE_H_

#include <cstdint>
#include <optional>

#include "engine_host/engine_library_windows.h"
#include "platform/engine/engine_testing.h"

namespace halvex::engine {

enum class CountedCall {
  kEngineCreate,
  kEngineDestroy,
  kReloadSystemFonts,
  kViewControllerCreate,
  kViewControllerDestroy,
  kForceRedraw,
  kResyncOutputStreams,
  kNextFrameCallbackRun,
};

void CountCall(CountedCall call);
void RecordEngineProperties(const FlutterDesktopEngineProperties& properties);
void RecordViewControllerSize(int width, int height);
void RecordRegistrarRequest(const char* plugin_name);
void RecordChannelRegistration(const char* channel);

std::optional<LRESULT> ConsumedTopLevelMessageResult(UINT message);
bool ViewControllerCreationFails();
bool ApplicationDisabled();

}  // namespace halvex::engine

#endif  // HALVEX_PLATFORM_ENGINE_SRC_TESTING_STATE_H_
