// Stand-in for the Windows SDK's per-monitor DPI query.
#ifndef HALVEX_STANDIN_SHELLSCALINGAPI_H_
#define HALVEX_STANDIN_SHELLSCALINGAPI_H_

#include "minwindef.h"
#include "winerror.h"

typedef enum MONITOR_DPI_TYPE {
  MDT_EFFECTIVE_DPI = 0,
  MDT_ANGULAR_DPI = 1,
  MDT_RAW_DPI = 2,
  MDT_DEFAULT = MDT_EFFECTIVE_DPI,
} MONITOR_DPI_TYPE;

extern "C" {

// The model's monitors have one DPI, reported for every DPI type.
HRESULT WINAPI GetDpiForMonitor(HMONITOR hmonitor,
                                MONITOR_DPI_TYPE dpiType,
                                UINT* dpiX,
                                UINT* dpiY);

}  // extern "C"

#endif  // HALVEX_STANDIN_SHELLSCALINGAPI_H_
