// Conversion from logical (96-dpi) units to the physical pixels of a monitor.
#ifndef HALVEX_RUNNER_DPI_SCALE_H_
#define HALVEX_RUNNER_DPI_SCALE_H_

#include <windows.h>

#include <cstdint>

namespace halvex {

// The DPI that logical units are defined at.
constexpr UINT kBaseDpi = 96;

// `logical` scaled by dpi / 96, truncated toward zero. A DPI of 0 means the monitor's DPI is
// unknown and is taken as 96, so a window never collapses to nothing.
int32_t ScaleToDpi(int32_t logical, UINT dpi);

}  // namespace halvex

#endif  // HALVEX_RUNNER_DPI_SCALE_H_
