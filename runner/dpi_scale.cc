#include "runner/dpi_scale.h"

namespace halvex {

int32_t ScaleToDpi(int32_t logical, UINT dpi) {
  const double factor = (dpi == 0 ? kBaseDpi : dpi) / static_cast<double>(kBaseDpi);
  return static_cast<int32_t>(static_cast<double>(logical) * factor);
}

}  // namespace halvex
