// MFStartup and MFShutdown: whether Media Foundation is started in this process.
#include "mf_platform.h"

#include <mfapi.h>
#include <mferror.h>

#include <mutex>

#include "fault_injection.h"
#include "windows_testing/media_foundation.h"

namespace halvex::platform {
namespace {

struct PlatformState {
  std::mutex mutex;
  int started = 0;  // successful MFStartup calls not yet balanced by MFShutdown
  int startup_calls = 0;
  int shutdown_calls = 0;
};

PlatformState& State() {
  static PlatformState* state = new PlatformState();  // Never destroyed: used at exit.
  return *state;
}

}  // namespace

bool IsMediaFoundationStarted() {
  PlatformState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.started > 0;
}

void ResetPlatformCallCounts() {
  PlatformState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.startup_calls = 0;
  state.shutdown_calls = 0;
}

}  // namespace halvex::platform

HRESULT WINAPI MFStartup(ULONG Version, DWORD dwFlags) {
  auto& state = halvex::platform::State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.startup_calls;
  }
  HALVEX_RETURN_IF_FAULT("MFStartup");
  if (Version != MF_VERSION) {
    return MF_E_BAD_STARTUP_VERSION;
  }
  if ((dwFlags & ~static_cast<DWORD>(MFSTARTUP_NOSOCKET)) != 0) {
    return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(state.mutex);
  ++state.started;
  return S_OK;
}

HRESULT WINAPI MFShutdown() {
  auto& state = halvex::platform::State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.shutdown_calls;
  }
  HALVEX_RETURN_IF_FAULT("MFShutdown");
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.started > 0) {
    --state.started;
  }
  return S_OK;
}

namespace halvex::testing {

int MFStartupCalls() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.startup_calls;
}

int MFShutdownCalls() {
  auto& state = platform::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.shutdown_calls;
}

bool MediaFoundationStarted() {
  return platform::IsMediaFoundationStarted();
}

}  // namespace halvex::testing
