// Monitors, each with its rectangle and DPI, chosen by tests.
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

constexpr RECT kDefaultMonitor{0, 0, 1920, 1080};

std::int64_t DistanceSquared(const RECT& rect, POINT point) {
  const std::int64_t dx = point.x < rect.left     ? rect.left - point.x
                          : point.x >= rect.right ? point.x - (rect.right - 1)
                                                  : 0;
  const std::int64_t dy = point.y < rect.top       ? rect.top - point.y
                          : point.y >= rect.bottom ? point.y - (rect.bottom - 1)
                                                   : 0;
  return dx * dx + dy * dy;
}

std::int64_t OverlapArea(const RECT& a, const RECT& b) {
  const std::int64_t width = std::min(a.right, b.right) - std::max(a.left, b.left);
  const std::int64_t height = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
  return width > 0 && height > 0 ? width * height : 0;
}

MonitorRecord* NearestLocked(Desktop& desktop, POINT point) {
  MonitorRecord* nearest = nullptr;
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (MonitorRecord& monitor : desktop.monitors) {
    const std::int64_t distance = DistanceSquared(monitor.rect, point);
    if (distance < best) {
      best = distance;
      nearest = &monitor;
    }
  }
  return nearest;
}

HMONITOR Fallback(Desktop& desktop, DWORD flags, POINT point) {
  switch (flags) {
    case MONITOR_DEFAULTTOPRIMARY:
      return desktop.monitors.front().handle;
    case MONITOR_DEFAULTTONEAREST:
      return NearestLocked(desktop, point)->handle;
    default:
      return nullptr;
  }
}

HMONITOR FromPointLocked(Desktop& desktop, POINT point, DWORD flags) {
  for (const MonitorRecord& monitor : desktop.monitors) {
    if (DistanceSquared(monitor.rect, point) == 0) {
      return monitor.handle;
    }
  }
  return Fallback(desktop, flags, point);
}

}  // namespace

void ResetMonitorsLocked(Desktop& desktop) {
  desktop.monitors = {
      MonitorRecord{NewHandle<HMONITOR>(desktop), kDefaultMonitor, USER_DEFAULT_SCREEN_DPI}};
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::MonitorRecord;
using halvex::platform::win32::TheDesktop;

namespace {

HMONITOR MonitorFromWindowLocked(Desktop& desktop, HWND hwnd, DWORD flags) {
  const auto* window = halvex::platform::win32::FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    return nullptr;
  }
  const RECT rect = halvex::platform::win32::ScreenRectLocked(desktop, *window);
  const MonitorRecord* best = nullptr;
  std::int64_t best_area = 0;
  for (const MonitorRecord& monitor : desktop.monitors) {
    const std::int64_t area = halvex::platform::win32::OverlapArea(monitor.rect, rect);
    if (area > best_area) {
      best_area = area;
      best = &monitor;
    }
  }
  if (best != nullptr) {
    return best->handle;
  }
  const POINT centre{rect.left + (rect.right - rect.left) / 2,
                     rect.top + (rect.bottom - rect.top) / 2};
  return halvex::platform::win32::Fallback(desktop, flags, centre);
}

}  // namespace

extern "C" {

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) {
  if (InjectedFault("MonitorFromPoint")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  return halvex::platform::win32::FromPointLocked(desktop, pt, dwFlags);
}

HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD dwFlags) {
  if (InjectedFault("MonitorFromWindow")) {
    return nullptr;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  HMONITOR monitor = MonitorFromWindowLocked(desktop, hwnd, dwFlags);
  if (monitor == nullptr && dwFlags == MONITOR_DEFAULTTOPRIMARY) {
    monitor = desktop.monitors.front().handle;
  }
  return monitor;
}

UINT WINAPI GetDpiForWindow(HWND hwnd) {
  if (InjectedFault("GetDpiForWindow")) {
    return 0;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const HMONITOR monitor = MonitorFromWindowLocked(desktop, hwnd, MONITOR_DEFAULTTONEAREST);
  for (const MonitorRecord& record : desktop.monitors) {
    if (record.handle == monitor) {
      return record.dpi;
    }
  }
  return 0;  // Not a window.
}

HRESULT WINAPI GetDpiForMonitor(HMONITOR hmonitor,
                                MONITOR_DPI_TYPE dpiType,
                                UINT* dpiX,
                                UINT* dpiY) {
  HALVEX_RETURN_IF_FAULT("GetDpiForMonitor");
  if (dpiX == nullptr || dpiY == nullptr || dpiType < MDT_EFFECTIVE_DPI || dpiType > MDT_RAW_DPI) {
    return E_INVALIDARG;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  for (const MonitorRecord& monitor : desktop.monitors) {
    if (monitor.handle == hmonitor) {
      *dpiX = monitor.dpi;
      *dpiY = monitor.dpi;
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

}  // extern "C"

namespace halvex::testing {

void SetMonitors(const std::vector<MonitorLayout>& monitors) {
  if (monitors.empty()) {
    return;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  desktop.monitors.clear();
  for (const MonitorLayout& layout : monitors) {
    desktop.monitors.push_back(
        MonitorRecord{platform::win32::NewHandle<HMONITOR>(desktop), layout.rect, layout.dpi});
  }
}

bool SetMonitorDpi(size_t index, UINT dpi) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (index >= desktop.monitors.size()) {
    return false;
  }
  desktop.monitors[index].dpi = dpi;
  return true;
}

void SetDpiForPoint(POINT point, UINT dpi) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  platform::win32::NearestLocked(desktop, point)->dpi = dpi;
}

}  // namespace halvex::testing
