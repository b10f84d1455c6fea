// One recording from start to summary: "start", one "appendPng" per frame, "stop".
#ifndef HALVEX_APP_DEMO_RUN_H_
#define HALVEX_APP_DEMO_RUN_H_

#include <ostream>

#include "app/beeper.h"
#include "app/engine_services.h"
#include "app/frame_source.h"
#include "app/options.h"

namespace halvex {
namespace demo {

// Records every frame of `source` with the output path, rate and audio choice of `options`,
// pacing the frames unless `options.fast`: each frame is made first and sent when it is due.
// Up to `options.in_flight` frames wait for their answers at once (one with an engine that cannot
// post); the oldest answer is taken before a frame beyond that is sent, and all of them before
// "stop". Each frame the source drew is also handed to the engine's view as it is sent, when the
// engine has one. With a `beeper`, a beep sounds as each flash frame is due. Progress and the
// summary go to `out`; each failure goes to `err` as one line. After a failed frame the recording
// is still stopped, so that what was written is finalised. Returns 0 when every call succeeded, 1
// otherwise.
int RunRecording(const DemoOptions& options,
                 FrameSource& source,
                 EngineServices& engine,
                 std::ostream& out,
                 std::ostream& err,
                 Beeper* beeper = nullptr,
                 const std::string& beeps = std::string());

// The path as the user will find it: absolute, resolved against the current directory.
std::string DisplayPath(const std::string& path);

}  // namespace demo
}  // namespace halvex

#endif  // HALVEX_APP_DEMO_RUN_H_
