#ifndef HALVEX_MESSAGING_DIAGNOSTIC_H_
#define HALVEX_MESSAGING_DIAGNOSTIC_H_

#include <string_view>

namespace halvex {

// Writes one diagnostic line to std::cerr and flushes it, so the line survives a crash that
// follows. Lines written from different threads never interleave.
void PrintDiagnosticLine(std::string_view line);

}  // namespace halvex

#endif  // HALVEX_MESSAGING_DIAGNOSTIC_H_
