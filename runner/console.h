// Where the program's diagnostic output goes.
#ifndef HALVEX_RUNNER_CONSOLE_H_
#define HALVEX_RUNNER_CONSOLE_H_

namespace halvex {

// Writes diagnostics to the console of the process that started this one; failing that, opens a
// console of its own when a debugger is attached. A program started from the desktop without a
// debugger has no console.
void AttachOrOpenConsole();

// Allocates a console and points the standard output and error streams at it, including the
// engine library's. Does nothing more when no console can be allocated.
void OpenDebugConsole();

}  // namespace halvex

#endif  // HALVEX_RUNNER_CONSOLE_H_
