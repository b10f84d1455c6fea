#include "test_application.h"

#include <cstdlib>
#include <mutex>

namespace halvex::testing {
namespace {

std::mutex outcomes_lock;
std::vector<std::string> outcomes;

void Record(const std::string& outcome) {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  outcomes.push_back(outcome);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void Send(const HalvexEngineServices& services, const std::string& command) {
  const std::string rest = command.substr(5);
  const size_t colon = rest.find(':');
  const std::string channel = rest.substr(0, colon);
  const std::string text = colon == std::string::npos ? "" : rest.substr(colon + 1);
  const uint8_t* reply = nullptr;
  size_t reply_size = 0;
  const int answered = services.send_message(services.engine, channel.c_str(),
                                             reinterpret_cast<const uint8_t*>(text.data()),
                                             text.size(), &reply, &reply_size);
  if (answered == 0) {
    Record(channel + "=none");
  } else if (reply == nullptr || reply_size == 0) {
    Record(channel + "=empty");
  } else {
    Record(channel + "=answered:" + std::string(reinterpret_cast<const char*>(reply), reply_size));
  }
}

}  // namespace

std::vector<std::string> TestApplicationOutcomes() {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  return outcomes;
}

void ResetTestApplication() {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  outcomes.clear();
}

}  // namespace halvex::testing

extern "C" HALVEX_APP_EXPORT int HalvexApplicationMain(const HalvexEngineServices* services,
                                                       int argc,
                                                       const char* const* argv) {
  using halvex::testing::Record;
  Record("args=" + std::to_string(argc) + (argv[argc] == nullptr ? "" : " (argv not ended)"));
  int status = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string command = argv[i];
    if (halvex::testing::StartsWith(command, "send:")) {
      halvex::testing::Send(*services, command);
    } else if (command == "send-without-channel") {
      const uint8_t* reply = nullptr;
      size_t reply_size = 0;
      const int answered =
          services->send_message(services->engine, nullptr, nullptr, 0, &reply, &reply_size);
      Record("no channel=" + std::to_string(answered));
    } else if (command == "frame") {
      services->frame_drawn(services->engine);
    } else if (halvex::testing::StartsWith(command, "status:")) {
      status = std::atoi(command.c_str() + 7);
    } else {
      Record("unknown command " + command);
    }
  }
  return status;
}
