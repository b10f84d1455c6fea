// The system-behaviour tests' needs, met by the desktop model's test controls.
#include "tests/windows/system_probe.h"

#include <mfapi.h>
#include <mfreadwrite.h>

#include <cstdlib>

#include "windows_testing/desktop.h"
#include "windows_testing/media_foundation.h"

namespace halvex::testing {

bool RunsOnTheDesktopModel() {
  return true;
}

bool RunsUnderWine() {
  return false;
}

SystemProbeScope::SystemProbeScope() {
  ResetDesktop();
}

SystemProbeScope::~SystemProbeScope() {
  ResetDesktop();
}

FrameMetrics SystemFrameMetrics() {
  FrameMetrics metrics;
  metrics.sizing_frame = kSizingFrameWidth;
  metrics.dialog_frame = kDialogFrameWidth;
  metrics.border = kBorderWidth;
  metrics.client_edge = kClientEdgeWidth;
  metrics.caption = kCaptionHeight;
  return metrics;
}

void StoreUserRegistryValue(const std::wstring& key,
                            const std::wstring& name,
                            DWORD type,
                            const std::vector<BYTE>& data) {
  SetRegistryValue(key, name, RegistryValue{type, data});
}

void RemoveUserRegistryKey(const std::wstring& key) {
  RemoveRegistryKey(key);
}

void SetProcessVariable(const std::wstring& name, const std::wstring& value) {
  // The model expands from the C runtime's environment; the names and values here are ASCII.
  setenv(std::string(name.begin(), name.end()).c_str(),
         std::string(value.begin(), value.end()).c_str(), 1);
}

// The model's stores offer no enumeration; a recording sink writer keeps a copy in store order.
std::vector<GUID> AttributeKeysInOrder(IMFAttributes* attributes) {
  ResetMediaFoundation();
  std::vector<GUID> keys;
  IMFSinkWriter* writer = nullptr;
  if (FAILED(MFCreateSinkWriterFromURL(L"probe.mp4", nullptr, attributes, &writer))) {
    return keys;
  }
  writer->Release();
  const std::vector<RecordedSinkWriter> writers = SinkWriters();
  if (!writers.empty() && writers.front().attributes) {
    for (const Attribute& item : *writers.front().attributes) {
      keys.push_back(item.key);
    }
  }
  return keys;
}

}  // namespace halvex::testing
