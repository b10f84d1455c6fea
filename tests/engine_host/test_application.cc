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

std::string Described(const std::string& name, int answered, const uint8_t* reply, size_t size) {
  if (answered == 0) {
    return name + "=none";
  }
  if (reply == nullptr || size == 0) {
    return name + "=empty";
  }
  return name + "=answered:" + std::string(reinterpret_cast<const char*>(reply), size);
}

// "CHANNEL:TEXT" after a five-letter command and its colon.
struct Addressed {
  std::string channel;
  std::string text;
};

Addressed AddressOf(const std::string& command) {
  const std::string rest = command.substr(5);
  const size_t colon = rest.find(':');
  return Addressed{rest.substr(0, colon), colon == std::string::npos ? "" : rest.substr(colon + 1)};
}

void Send(const HalvexEngineServices& services, const std::string& command) {
  const auto [channel, text] = AddressOf(command);
  const uint8_t* reply = nullptr;
  size_t reply_size = 0;
  const int answered = services.send_message(services.engine, channel.c_str(),
                                             reinterpret_cast<const uint8_t*>(text.data()),
                                             text.size(), &reply, &reply_size);
  Record(Described(channel, answered, reply, reply_size));
}

// Tickets in posting order, refused ones (0) included, so that "await:I" names the I-th post.
std::vector<uint64_t> tickets;

void Post(const HalvexEngineServices& services, const std::string& command) {
  const auto [channel, text] = AddressOf(command);
  const uint64_t ticket = services.post_message(
      services.engine, channel.c_str(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
  tickets.push_back(ticket);
  if (ticket == 0) {
    Record("post " + channel + "=refused");
  }
}

uint64_t PostedTicket(const std::string& index) {
  const size_t position = static_cast<size_t>(std::atoi(index.c_str()));
  return position < tickets.size() ? tickets[position] : 0;
}

void Await(const HalvexEngineServices& services, const std::string& index) {
  const uint8_t* reply = nullptr;
  size_t reply_size = 0;
  const int answered =
      services.await_reply(services.engine, PostedTicket(index), &reply, &reply_size);
  Record(Described("await " + index, answered, reply, reply_size));
}

// Fields of "present:W:H:STRIDE:RRGGBB".
struct PictureRequest {
  int32_t width;
  int32_t height;
  size_t stride;
  uint32_t colour;
};

PictureRequest ParsePicture(const std::string& fields) {
  PictureRequest request{};
  const char* cursor = fields.c_str();
  char* end = nullptr;
  request.width = static_cast<int32_t>(std::strtol(cursor, &end, 10));
  request.height = static_cast<int32_t>(std::strtol(end + 1, &end, 10));
  request.stride = static_cast<size_t>(std::strtoull(end + 1, &end, 10));
  request.colour = static_cast<uint32_t>(std::strtoul(end + 1, &end, 16));
  return request;
}

std::vector<uint8_t> DrawPicture(const PictureRequest& request) {
  constexpr size_t kMostBytes = size_t{64} << 20;
  if (request.width <= 0 || request.height <= 0 || request.stride == 0 ||
      request.stride > kMostBytes / static_cast<size_t>(request.height)) {
    return std::vector<uint8_t>(64, 0xAB);
  }
  std::vector<uint8_t> pixels(request.stride * static_cast<size_t>(request.height), 0xAB);
  for (size_t y = 0; y < static_cast<size_t>(request.height); ++y) {
    for (size_t x = 0; x < static_cast<size_t>(request.width) && (x + 1) * 4 <= request.stride;
         ++x) {
      const uint32_t colour =
          x < static_cast<size_t>(request.width) / 2 ? request.colour : request.colour ^ 0xFFFFFF;
      uint8_t* pixel = &pixels[y * request.stride + x * 4];
      pixel[0] = static_cast<uint8_t>(colour);
      pixel[1] = static_cast<uint8_t>(colour >> 8);
      pixel[2] = static_cast<uint8_t>(colour >> 16);
      pixel[3] = 0;
    }
  }
  return pixels;
}

void Present(const HalvexEngineServices& services, const std::string& fields) {
  const PictureRequest request = ParsePicture(fields);
  const std::vector<uint8_t> pixels = DrawPicture(request);
  const int result = services.present_frame(services.engine, pixels.data(), request.width,
                                            request.height, request.stride);
  const size_t colour_colon = fields.rfind(':');
  Record("present " + fields.substr(0, colour_colon) + "=" + std::to_string(result));
}

}  // namespace

std::vector<std::string> TestApplicationOutcomes() {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  return outcomes;
}

void ResetTestApplication() {
  std::lock_guard<std::mutex> guard(outcomes_lock);
  outcomes.clear();
  tickets.clear();
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
    } else if (halvex::testing::StartsWith(command, "post:")) {
      halvex::testing::Post(*services, command);
    } else if (command == "post-without-channel") {
      const uint64_t ticket = services->post_message(services->engine, nullptr, nullptr, 0);
      halvex::testing::tickets.push_back(ticket);
      Record("post no channel=" + std::to_string(ticket));
    } else if (halvex::testing::StartsWith(command, "await:")) {
      halvex::testing::Await(*services, command.substr(6));
    } else if (command == "await-unknown") {
      const uint8_t* reply = nullptr;
      size_t reply_size = 0;
      const int answered =
          services->await_reply(services->engine, UINT64_MAX - 1, &reply, &reply_size);
      Record("await unknown=" + std::to_string(answered));
    } else if (halvex::testing::StartsWith(command, "await-without-slots:")) {
      const std::string index = command.substr(20);
      const int answered = services->await_reply(
          services->engine, halvex::testing::PostedTicket(index), nullptr, nullptr);
      Record("await " + index + " without slots=" + std::to_string(answered));
    } else if (command == "services") {
      Record("services=" + std::to_string(services->struct_size) +
             (HALVEX_ENGINE_SERVICES_HAS(services, post_message) ? " post" : "") +
             (HALVEX_ENGINE_SERVICES_HAS(services, await_reply) ? " await" : ""));
    } else if (command == "frame") {
      services->frame_drawn(services->engine);
    } else if (halvex::testing::StartsWith(command, "present:")) {
      if (HALVEX_ENGINE_SERVICES_HAS(services, present_frame)) {
        halvex::testing::Present(*services, command.substr(8));
      } else {
        Record("present not offered");
      }
    } else if (command == "present-null") {
      Record("present null=" +
             std::to_string(services->present_frame(services->engine, nullptr, 2, 2, 8)));
    } else if (command == "present-without-engine") {
      const uint8_t pixels[16] = {};
      Record("present without engine=" +
             std::to_string(services->present_frame(nullptr, pixels, 2, 2, 8)));
    } else if (halvex::testing::StartsWith(command, "status:")) {
      status = std::atoi(command.c_str() + 7);
    } else {
      Record("unknown command " + command);
    }
  }
  return status;
}
