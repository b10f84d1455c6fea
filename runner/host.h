// The program from start to end: console, COM apartment, project, window and message loop.
#ifndef HALVEX_RUNNER_HOST_H_
#define HALVEX_RUNNER_HOST_H_

namespace halvex {

// Runs the application in its top-level window until the window is closed. Returns the process
// exit code: 0 after the window was closed, 1 when it could not be created.
int RunHost();

}  // namespace halvex

#endif  // HALVEX_RUNNER_HOST_H_
