// The engine: its copy of the properties, its messenger, registrars and next-frame callback, and
// the platform-thread side of the running application.
#include "engine_state.h"

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing_state.h"

using halvex::engine::ApplicationRunner;
using halvex::engine::CountCall;
using halvex::engine::CountedCall;
using halvex::engine::OwedReply;
using halvex::engine::PlatformWork;

namespace {

std::wstring CopyWide(const wchar_t* text) {
  return text == nullptr ? std::wstring() : std::wstring(text);
}

void ReportUnusableCall(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

std::shared_ptr<halvex::engine::PendingMessage> MakePending(const char* channel,
                                                            const uint8_t* message,
                                                            size_t message_size) {
  auto pending = std::make_shared<halvex::engine::PendingMessage>();
  pending->channel = channel;
  if (message_size > 0) {
    pending->bytes.assign(message, message + message_size);
  }
  return pending;
}

// Keeps `bytes` valid until this thread's next call, as the application interface promises,
// and points the application's reply slots at them.
void HandOverReply(std::vector<uint8_t> bytes, const uint8_t** reply, size_t* reply_size) {
  thread_local std::vector<uint8_t> last_reply;
  last_reply = std::move(bytes);
  *reply = last_reply.empty() ? nullptr : last_reply.data();
  *reply_size = last_reply.size();
}

int SendMessageFromApplication(void* engine_pointer,
                               const char* channel,
                               const uint8_t* message,
                               size_t message_size,
                               const uint8_t** reply,
                               size_t* reply_size) {
  if (engine_pointer == nullptr || channel == nullptr || reply == nullptr ||
      reply_size == nullptr || (message == nullptr && message_size > 0)) {
    ReportUnusableCall(
        "send_message needs an engine, a channel name and reply slots, and message bytes when the "
        "size is not 0.");
    return 0;
  }
  auto* engine = static_cast<FlutterDesktopEngine*>(engine_pointer);
  const auto pending = MakePending(channel, message, message_size);
  if (!engine->messenger->SendFromApplication(pending)) {
    *reply = nullptr;
    *reply_size = 0;
    return 0;
  }
  HandOverReply(std::move(pending->reply), reply, reply_size);
  return 1;
}

uint64_t PostMessageFromApplication(void* engine_pointer,
                                    const char* channel,
                                    const uint8_t* message,
                                    size_t message_size) {
  if (engine_pointer == nullptr || channel == nullptr || (message == nullptr && message_size > 0)) {
    ReportUnusableCall(
        "post_message needs an engine and a channel name, and message bytes when the size is not "
        "0.");
    return 0;
  }
  auto* engine = static_cast<FlutterDesktopEngine*>(engine_pointer);
  return engine->messenger->PostFromApplication(MakePending(channel, message, message_size));
}

int AwaitReplyFromApplication(void* engine_pointer,
                              uint64_t ticket,
                              const uint8_t** reply,
                              size_t* reply_size) {
  // Refused before the ticket is taken, so that a corrected call still gets its answer.
  if (engine_pointer == nullptr || reply == nullptr || reply_size == nullptr) {
    ReportUnusableCall("await_reply needs an engine and reply slots.");
    return 0;
  }
  *reply = nullptr;
  *reply_size = 0;
  auto* engine = static_cast<FlutterDesktopEngine*>(engine_pointer);
  std::vector<uint8_t> answer;
  if (!engine->messenger->AwaitFromApplication(ticket, &answer)) {
    return 0;
  }
  HandOverReply(std::move(answer), reply, reply_size);
  return 1;
}

void FrameDrawnByApplication(void* engine_pointer) {
  if (engine_pointer == nullptr) {
    return;
  }
  FlutterDesktopMessenger* messenger =
      static_cast<FlutterDesktopEngine*>(engine_pointer)->messenger;
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  if (messenger->available) {
    ++messenger->queued.frames;
    messenger->WakePlatformThread();
  }
}

int PresentFrameFromApplication(void* engine_pointer,
                                const uint8_t* pixels,
                                int32_t width,
                                int32_t height,
                                size_t stride) {
  std::shared_ptr<const halvex::engine::ViewFrame> frame =
      engine_pointer == nullptr ? nullptr
                                : halvex::engine::CopyViewFrame(pixels, width, height, stride);
  if (frame == nullptr) {
    ReportUnusableCall("present_frame needs an engine, pixels, a width and height from 1 to " +
                       std::to_string(HALVEX_MAX_FRAME_SIDE) +
                       " and a stride of at least width * 4 bytes.");
    return 0;
  }
  return static_cast<FlutterDesktopEngine*>(engine_pointer)->PresentFrame(std::move(frame)) ? 1 : 0;
}

void SettleOwedReplies(const std::deque<OwedReply>& owed) {
  for (const OwedReply& reply : owed) {
    reply.callback(nullptr, 0, reply.user_data);
  }
}

}  // namespace

FlutterDesktopEngine::FlutterDesktopEngine(const FlutterDesktopEngineProperties& properties)
    : assets_path(CopyWide(properties.assets_path)),
      icu_data_path(CopyWide(properties.icu_data_path)),
      aot_library_path(CopyWide(properties.aot_library_path)),
      entrypoint(properties.entrypoint == nullptr ? "" : properties.entrypoint),
      messenger(new FlutterDesktopMessenger()) {
  for (int32_t i = 0; properties.entrypoint_argv != nullptr && i < properties.entrypoint_argc;
       ++i) {
    const char* argument = properties.entrypoint_argv[i];
    entrypoint_arguments.emplace_back(argument == nullptr ? "" : argument);
  }
}

FlutterDesktopEngine::~FlutterDesktopEngine() {
  ShutDown();
  FlutterDesktopMessengerRelease(messenger);
}

void FlutterDesktopEngine::Run(HWND window) {
  view_window = window;
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->lock);
    messenger->platform_window = window;
    // Work queued before the view existed (replies owed to the host) is picked up now.
    messenger->WakePlatformThread();
  }
  if (halvex::engine::ApplicationDisabled()) {
    return;
  }
  HalvexEngineServices services = {};
  services.struct_size = sizeof(services);
  services.engine = this;
  services.send_message = &SendMessageFromApplication;
  services.frame_drawn = &FrameDrawnByApplication;
  services.post_message = &PostMessageFromApplication;
  services.await_reply = &AwaitReplyFromApplication;
  services.present_frame = &PresentFrameFromApplication;
  FlutterDesktopMessenger* finished_messenger = messenger;
  application = std::make_unique<ApplicationRunner>(
      aot_library_path, entrypoint_arguments, services, [finished_messenger](int) {
        std::lock_guard<std::recursive_mutex> guard(finished_messenger->lock);
        finished_messenger->queued.application_finished = true;
        finished_messenger->WakePlatformThread();
      });
}

void FlutterDesktopEngine::ShutDown() {
  std::deque<OwedReply> owed = messenger->ShutDown();
  application.reset();
  view_window = nullptr;
  SettleOwedReplies(owed);
}

void FlutterDesktopEngine::RunPlatformWork() {
  PlatformWork work = messenger->TakePlatformWork();
  for (const auto& message : work.messages) {
    messenger->Deliver(message);
  }
  SettleOwedReplies(work.owed_replies);
  if (work.frame_presented && view_window != nullptr) {
    // Painted when the queue is otherwise idle; several pictures before then paint once.
    InvalidateRect(view_window, nullptr, FALSE);
  }
  if (work.frames > 0) {
    RunNextFrameCallback();
  }
  if (work.application_finished && view_window != nullptr) {
    // The application is over: close the window the view lives in, as a user would.
    PostMessageW(GetAncestor(view_window, GA_ROOT), WM_CLOSE, 0, 0);
  }
}

bool FlutterDesktopEngine::PresentFrame(std::shared_ptr<const halvex::engine::ViewFrame> frame) {
  std::shared_ptr<const halvex::engine::ViewFrame> replaced;
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->lock);
    if (!messenger->available) {
      return false;
    }
    replaced = view_frame.Replace(std::move(frame));
    messenger->queued.frame_presented = true;
    messenger->WakePlatformThread();
  }
  // `replaced` may be the last reference: freed here, outside the messenger's lock.
  return true;
}

void FlutterDesktopEngine::ViewWindowDestroyed() {
  view_window = nullptr;
  std::lock_guard<std::recursive_mutex> guard(messenger->lock);
  messenger->platform_window = nullptr;
}

void FlutterDesktopEngine::RunNextFrameCallback() {
  FlutterDesktopOnNextFrameCallback callback = next_frame_callback;
  void* user_data = next_frame_user_data;
  // Cleared first: the callback may set the next one.
  next_frame_callback = nullptr;
  next_frame_user_data = nullptr;
  if (callback != nullptr) {
    CountCall(CountedCall::kNextFrameCallbackRun);
    callback(user_data);
  }
}

extern "C" {

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* engine_properties) {
  CountCall(CountedCall::kEngineCreate);
  if (engine_properties == nullptr) {
    return nullptr;
  }
  halvex::engine::RecordEngineProperties(*engine_properties);
  return new FlutterDesktopEngine(*engine_properties);
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  CountCall(CountedCall::kEngineDestroy);
  if (engine == nullptr) {
    return false;
  }
  delete engine;
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  return engine == nullptr ? nullptr : engine->messenger;
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine,
    const char* plugin_name) {
  if (engine == nullptr || plugin_name == nullptr) {
    return nullptr;
  }
  halvex::engine::RecordRegistrarRequest(plugin_name);
  std::unique_ptr<FlutterDesktopPluginRegistrar>& registrar = engine->registrars[plugin_name];
  if (registrar == nullptr) {
    registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
    registrar->engine = engine;
    registrar->plugin_name = plugin_name;
  }
  return registrar.get();
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrameCallback callback,
                                              void* user_data) {
  if (engine == nullptr) {
    return;
  }
  engine->next_frame_callback = callback;
  engine->next_frame_user_data = user_data;
}

// Text is drawn by the application here, so there are no font caches to refresh.
void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef /*engine*/) {
  CountCall(CountedCall::kReloadSystemFonts);
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  if (registrar == nullptr || registrar->engine == nullptr) {
    return nullptr;
  }
  return registrar->engine->messenger;
}

}  // extern "C"
