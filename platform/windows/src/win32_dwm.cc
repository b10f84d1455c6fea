// Desktop window manager attributes: the last value set per window and attribute.
#include <dwmapi.h>

#include <cstring>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

namespace {

bool IsSettable(DWORD attribute) {
  switch (attribute) {
    case DWMWA_NCRENDERING_POLICY:
    case DWMWA_TRANSITIONS_FORCEDISABLED:
    case DWMWA_ALLOW_NCPAINT:
    case DWMWA_NONCLIENT_RTL_LAYOUT:
    case DWMWA_FORCE_ICONIC_REPRESENTATION:
    case DWMWA_FLIP3D_POLICY:
    case DWMWA_HAS_ICONIC_BITMAP:
    case DWMWA_DISALLOW_PEEK:
    case DWMWA_EXCLUDED_FROM_PEEK:
    case DWMWA_CLOAK:
    case DWMWA_FREEZE_REPRESENTATION:
    case DWMWA_PASSIVE_UPDATE_MODE:
    case DWMWA_USE_HOSTBACKDROPBRUSH:
    case DWMWA_USE_IMMERSIVE_DARK_MODE:
    case DWMWA_WINDOW_CORNER_PREFERENCE:
    case DWMWA_BORDER_COLOR:
    case DWMWA_CAPTION_COLOR:
    case DWMWA_TEXT_COLOR:
    case DWMWA_SYSTEMBACKDROP_TYPE:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" {

HRESULT WINAPI DwmSetWindowAttribute(HWND hwnd,
                                     DWORD dwAttribute,
                                     LPCVOID pvAttribute,
                                     DWORD cbAttribute) {
  HALVEX_RETURN_IF_FAULT("DwmSetWindowAttribute");
  namespace win32 = halvex::platform::win32;
  win32::Desktop& desktop = win32::TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  win32::WindowRecord* window = win32::FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    return E_HANDLE;
  }
  // Every settable attribute is a BOOL, a DWORD, an enumeration or a COLORREF: four bytes.
  if (!IsSettable(dwAttribute) || pvAttribute == nullptr || cbAttribute != sizeof(DWORD)) {
    return E_INVALIDARG;
  }
  const auto* bytes = static_cast<const BYTE*>(pvAttribute);
  window->dwm_attributes[dwAttribute].assign(bytes, bytes + cbAttribute);
  return S_OK;
}

}  // extern "C"

namespace halvex::testing {

std::optional<std::vector<BYTE>> GetDwmAttribute(HWND window, DWORD attribute) {
  platform::win32::Desktop& desktop = platform::win32::TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto record = desktop.windows.find(window);
  if (record == desktop.windows.end()) {
    return std::nullopt;
  }
  auto value = record->second->dwm_attributes.find(attribute);
  if (value == record->second->dwm_attributes.end()) {
    return std::nullopt;
  }
  return value->second;
}

std::optional<DWORD> GetDwmAttributeDword(HWND window, DWORD attribute) {
  const std::optional<std::vector<BYTE>> bytes = GetDwmAttribute(window, attribute);
  if (!bytes || bytes->size() != sizeof(DWORD)) {
    return std::nullopt;
  }
  DWORD value = 0;
  std::memcpy(&value, bytes->data(), sizeof(value));
  return value;
}

}  // namespace halvex::testing
