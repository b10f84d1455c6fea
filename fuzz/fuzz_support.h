// What every fuzz target shares: the libFuzzer entry point, a quiet diagnostic stream that still
// counts what was written to it, and the check that turns a broken property into a crash.
#ifndef HALVEX_FUZZ_FUZZ_SUPPORT_H_
#define HALVEX_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "messaging/encodable_value.h"

// Defined once per target; libFuzzer calls it with each input, the replay tests with each kept
// file. Returns 0: every input is worth keeping in the corpus.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace halvex::fuzzing {

// Sends std::cerr to a sink that keeps nothing but a count of the characters written, from the
// first call on, for the rest of the process. A fuzz run writes millions of diagnostic lines; the
// count still tells whether a step wrote one. Returns that count.
size_t DiagnosticCharacters();

// Reports `property` on stderr (past the silenced std::cerr) and aborts, which libFuzzer records
// as a crash with its input and the replay tests as a failed test.
void Require(bool holds, const char* property);

// `value` in the standard message format, written at the start of a message.
std::vector<uint8_t> EncodeValue(const flutter::EncodableValue& value);

}  // namespace halvex::fuzzing

#endif  // HALVEX_FUZZ_FUZZ_SUPPORT_H_
