#include "app/application.h"

#include <memory>
#include <string>
#include <vector>

#include "app/beeper.h"
#include "app/demo_run.h"
#include "app/engine_services.h"
#include "app/folder_frame_source.h"
#include "app/options.h"
#include "app/scene_frame_source.h"

namespace halvex {
namespace demo {
namespace {

bool CollectArguments(int argc,
                      const char* const* argv,
                      std::vector<std::string>* arguments,
                      std::string* error) {
  if (argc <= 0) {
    return true;
  }
  if (argv == nullptr) {
    *error = "the engine passed " + std::to_string(argc) + " arguments without their text";
    return false;
  }
  for (int index = 0; index < argc; ++index) {
    if (argv[index] == nullptr) {
      *error = "entrypoint argument " + std::to_string(index) + " is missing";
      return false;
    }
    arguments->emplace_back(argv[index]);
  }
  return true;
}

}  // namespace

int RunApplication(const HalvexEngineServices* services,
                   int argc,
                   const char* const* argv,
                   std::ostream& out,
                   std::ostream& err) {
  std::vector<std::string> arguments;
  std::string error;
  if (!CollectArguments(argc, argv, &arguments, &error)) {
    err << "demo: " << error << std::endl;
    return kExitUsage;
  }
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.ok) {
    err << "demo: " << parsed.error << "\n"
        << "demo: run with --help to see the options" << std::endl;
    return kExitUsage;
  }
  const DemoOptions& options = parsed.options;
  if (options.show_help) {
    out << UsageText() << std::flush;
    return kExitSuccess;
  }

  if (!EngineServices::IsUsable(services, &error)) {
    err << "demo: " << error << std::endl;
    return kExitFailure;
  }

  std::unique_ptr<FrameSource> source;
  if (options.frames_directory.empty()) {
    source = std::make_unique<SceneFrameSource>(options.width, options.height, options.fps,
                                                DrawnFrameCount(options));
  } else {
    source = FolderFrameSource::Open(options.frames_directory, &error);
    if (!source) {
      err << "demo: --frames: " << error << std::endl;
      return kExitUsage;
    }
  }

  // Drawn frames flash once a second; when system audio is recorded in real time, a beep goes
  // with each flash.
  std::unique_ptr<Beeper> beeper;
  std::string beeps;
  if (options.frames_directory.empty() && options.enable_audio && !options.fast) {
    beeper = CreateBeeper(&beeps);
  }
  EngineServices engine(*services);
  return RunRecording(options, *source, engine, out, err, beeper.get(), beeps) == 0 ? kExitSuccess
                                                                                    : kExitFailure;
}

}  // namespace demo
}  // namespace halvex
