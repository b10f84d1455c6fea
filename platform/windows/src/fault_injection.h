// Internal side of fault injection: every stand-in call asks here first whether it must fail.
#ifndef HALVEX_STANDIN_FAULT_INJECTION_H_
#define HALVEX_STANDIN_FAULT_INJECTION_H_

#include <winerror.h>

#include <optional>

namespace halvex::platform {

// Counts one call of `call` and returns the HRESULT it must fail with, if a test armed one.
std::optional<HRESULT> CheckFault(const char* call);

}  // namespace halvex::platform

// Returns the injected failure from the calling stand-in function, if one is armed.
#define HALVEX_RETURN_IF_FAULT(call)                                \
  do {                                                              \
    if (auto halvex_fault = ::halvex::platform::CheckFault(call)) { \
      return *halvex_fault;                                         \
    }                                                               \
  } while (false)

#endif  // HALVEX_STANDIN_FAULT_INJECTION_H_
