// The process's command line as the application's arguments.
#ifndef HALVEX_RUNNER_COMMAND_LINE_H_
#define HALVEX_RUNNER_COMMAND_LINE_H_

#include <cstddef>
#include <string>
#include <vector>

namespace halvex {

// The most UTF-16 code units of one text that ToUtf8 converts.
constexpr std::size_t kMaxConvertedLength = 32767;

// The process's arguments after the program path, in order, as UTF-8. An argument that cannot be
// converted keeps its position as an empty string; a command line that cannot be split gives no
// arguments.
std::vector<std::string> CommandLineArguments();

// The UTF-8 form of the first kMaxConvertedLength code units of a NUL-terminated UTF-16 text
// (one fewer when the limit would split a surrogate pair). Empty for a null pointer and for any
// text that is not valid UTF-16, such as one with an unpaired surrogate.
std::string ToUtf8(const wchar_t* utf16);

}  // namespace halvex

#endif  // HALVEX_RUNNER_COMMAND_LINE_H_
