// The engine stand-in running a real application library on its own thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include "engine_host/engine_library_windows.h"
#include "engine_test_support.h"
#include "platform/engine/engine_testing.h"
#include "test_application.h"
#include "windows_testing/desktop.h"

namespace {

using halvex::testing::PumpMessagesUntil;
using halvex::testing::TestApplicationOutcomes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::string Text(const uint8_t* bytes, size_t size) {
  return bytes == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(bytes), size);
}

class EngineStandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    halvex::engine_testing::ResetEngineTesting();
    halvex::testing::ResetTestApplication();
  }

  void TearDown() override {
    StopEngine();
    for (std::thread& answerer : answerers_) {
      answerer.join();
    }
  }

  // Creates the engine, registers the test channels, creates the view controller and embeds
  // its view in the top-level window, as a host does.
  void StartEngine(const std::vector<std::string>& arguments,
                   const std::wstring& application = halvex::testing::kTestApplicationPath) {
    engine_ = halvex::testing::CreateEngine(application, arguments);
    ASSERT_NE(engine_, nullptr);
    messenger_ = FlutterDesktopEngineGetMessenger(engine_);
    for (const char* channel :
         {"test/echo", "test/async", "test/empty", "test/hold", "test/gather"}) {
      FlutterDesktopMessengerSetCallback(messenger_, channel, &EngineStandInTest::OnMessage, this);
    }
    controller_ = FlutterDesktopViewControllerCreate(320, 240, engine_);
    ASSERT_NE(controller_, nullptr);
    view_window_ = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_));
    ASSERT_NE(view_window_, nullptr);
    SetParent(view_window_, top_level_->handle());
  }

  // For each case of a table: a fresh window, as the previous one was asked to close.
  void NewTopLevelWindow() {
    top_level_.reset();
    top_level_ = std::make_unique<halvex::testing::TopLevelWindow>();
  }

  void StopEngine() {
    if (controller_ != nullptr) {
      FlutterDesktopViewControllerDestroy(controller_);
      controller_ = nullptr;
    }
  }

  bool RunUntilTheWindowIsClosed() {
    return PumpMessagesUntil([this] { return top_level_->close_requests() > 0; });
  }

  static void OnMessage(FlutterDesktopMessengerRef messenger,
                        const FlutterDesktopMessage* message,
                        void* user_data) {
    auto* self = static_cast<EngineStandInTest*>(user_data);
    const std::string channel = message->channel;
    const std::string text = Text(message->message, message->message_size);
    self->handled_on_platform_thread_.push_back(std::this_thread::get_id() ==
                                                self->platform_thread_);
    self->received_.push_back(channel + ":" + text);
    const std::string reply = "re:" + text;
    if (channel == "test/echo") {
      FlutterDesktopMessengerSendResponse(messenger, message->response_handle,
                                          reinterpret_cast<const uint8_t*>(reply.data()),
                                          reply.size());
    } else if (channel == "test/empty") {
      FlutterDesktopMessengerSendResponse(messenger, message->response_handle, nullptr, 0);
    } else if (channel == "test/async") {
      // Answered from another thread, the way a host reply closure does it.
      FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger);
      const FlutterDesktopMessageResponseHandle* handle = message->response_handle;
      self->answerers_.emplace_back([held, handle, reply] {
        FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(held);
        if (FlutterDesktopMessengerIsAvailable(held)) {
          FlutterDesktopMessengerSendResponse(
              held, handle, reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
        }
        FlutterDesktopMessengerUnlock(locked);
        FlutterDesktopMessengerRelease(held);
      });
    } else if (channel == "test/hold") {
      self->held_messenger_ = FlutterDesktopMessengerAddRef(messenger);
      self->held_response_ = message->response_handle;
    } else if (channel == "test/gather") {
      self->gathered_.push_back(Gathered{message->response_handle, reply});
    }
  }

  // Answers the gathered messages in the order of `order` (indexes into gathered_) from another
  // thread, as a host whose work finishes out of order would.
  void AnswerGatheredFromAnotherThread(const std::vector<size_t>& order) {
    FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger_);
    std::vector<Gathered> answers;
    for (size_t index : order) {
      answers.push_back(gathered_.at(index));
    }
    answerers_.emplace_back([held, answers] {
      for (const Gathered& answer : answers) {
        FlutterDesktopMessengerSendResponse(held, answer.handle,
                                            reinterpret_cast<const uint8_t*>(answer.reply.data()),
                                            answer.reply.size());
      }
      FlutterDesktopMessengerRelease(held);
    });
  }

  halvex::testing::ScopedDesktop desktop_;
  std::unique_ptr<halvex::testing::TopLevelWindow> top_level_ =
      std::make_unique<halvex::testing::TopLevelWindow>();
  std::thread::id platform_thread_ = std::this_thread::get_id();
  FlutterDesktopEngineRef engine_ = nullptr;
  FlutterDesktopMessengerRef messenger_ = nullptr;
  FlutterDesktopViewControllerRef controller_ = nullptr;
  HWND view_window_ = nullptr;
  std::vector<std::string> received_;
  std::vector<bool> handled_on_platform_thread_;
  std::vector<std::thread> answerers_;
  FlutterDesktopMessengerRef held_messenger_ = nullptr;
  const FlutterDesktopMessageResponseHandle* held_response_ = nullptr;
  struct Gathered {
    const FlutterDesktopMessageResponseHandle* handle;
    std::string reply;
  };
  std::vector<Gathered> gathered_;  // test/gather messages, left for the test to answer
};

TEST_F(EngineStandInTest,
       MessagesReachTheHandlersOnThePlatformThreadAndAnswersReachTheApplication) {
  struct Case {
    const char* command;
    const char* received;  // by the host's handler; empty when no handler sees it
    const char* outcome;   // in the application
  };
  const Case cases[] = {
      {"send:test/echo:hello", "test/echo:hello", "test/echo=answered:re:hello"},
      {"send:test/async:later", "test/async:later", "test/async=answered:re:later"},
      {"send:test/empty:x", "test/empty:x", "test/empty=empty"},
      {"send:test/nobody:y", "", "test/nobody=empty"},
      {"send:test/echo:", "test/echo:", "test/echo=answered:re:"},
  };
  std::vector<std::string> arguments;
  std::vector<std::string> expected_received;
  std::vector<std::string> expected_outcomes = {"args=" + std::to_string(std::size(cases))};
  for (const Case& c : cases) {
    arguments.push_back(c.command);
    if (*c.received != '\0') {
      expected_received.push_back(c.received);
    }
    expected_outcomes.push_back(c.outcome);
  }

  StartEngine(arguments);
  ASSERT_TRUE(RunUntilTheWindowIsClosed());
  StopEngine();

  EXPECT_THAT(received_, ElementsAreArray(expected_received));
  EXPECT_THAT(handled_on_platform_thread_, ::testing::Each(true));
  EXPECT_THAT(TestApplicationOutcomes(), ElementsAreArray(expected_outcomes));
  EXPECT_EQ(top_level_->close_requests(), 1);
}

TEST_F(EngineStandInTest, PostedMessagesReachTheHostInOrderAndAreAwaitedInAnyOrder) {
  struct Case {
    const char* name;
    std::vector<std::string> commands;
    std::vector<std::string> received;  // by the host's handlers, in order
    std::vector<std::string> outcomes;  // in the application, after "args=N"
  };
  const Case cases[] = {
      {"awaited in posting order",
       {"post:test/echo:a", "post:test/async:b", "post:test/empty:c", "post:test/nobody:d",
        "await:0", "await:1", "await:2", "await:3"},
       {"test/echo:a", "test/async:b", "test/empty:c"},
       {"await 0=answered:re:a", "await 1=answered:re:b", "await 2=empty", "await 3=empty"}},
      {"awaited newest first",
       {"post:test/async:a", "post:test/echo:b", "post:test/async:c", "await:2", "await:1",
        "await:0"},
       {"test/async:a", "test/echo:b", "test/async:c"},
       {"await 2=answered:re:c", "await 1=answered:re:b", "await 0=answered:re:a"}},
      {"between synchronous sends",
       {"post:test/echo:a", "send:test/echo:b", "post:test/async:c", "send:test/async:d", "await:1",
        "await:0"},
       {"test/echo:a", "test/echo:b", "test/async:c", "test/async:d"},
       {"test/echo=answered:re:b", "test/async=answered:re:d", "await 1=answered:re:c",
        "await 0=answered:re:a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewTopLevelWindow();
    halvex::testing::ResetTestApplication();
    received_.clear();
    StartEngine(c.commands);
    ASSERT_TRUE(RunUntilTheWindowIsClosed());
    StopEngine();
    std::vector<std::string> expected_outcomes = {"args=" + std::to_string(c.commands.size())};
    expected_outcomes.insert(expected_outcomes.end(), c.outcomes.begin(), c.outcomes.end());
    EXPECT_THAT(received_, ElementsAreArray(c.received));
    EXPECT_THAT(handled_on_platform_thread_, ::testing::Each(true));
    EXPECT_THAT(TestApplicationOutcomes(), ElementsAreArray(expected_outcomes));
  }
}

TEST_F(EngineStandInTest, AnswersGivenOutOfOrderReachTheirOwnTickets) {
  StartEngine({"post:test/gather:a", "post:test/gather:b", "post:test/gather:c", "await:0",
               "await:1", "await:2"});
  ASSERT_TRUE(PumpMessagesUntil([this] { return gathered_.size() == 3; }));
  // The newest first, while the application waits for the oldest.
  AnswerGatheredFromAnotherThread({2, 0, 1});
  ASSERT_TRUE(RunUntilTheWindowIsClosed());
  StopEngine();
  EXPECT_THAT(TestApplicationOutcomes(),
              ElementsAre("args=6", "await 0=answered:re:a", "await 1=answered:re:b",
                          "await 2=answered:re:c"));
}

TEST_F(EngineStandInTest, ShuttingDownWakesEveryWaiterAndKeepsTheAnswersGiven) {
  StartEngine({"post:test/gather:x", "post:test/echo:y", "post:test/gather:z", "await:0", "await:1",
               "await:2", "post:test/echo:late", "await:3", "send:test/echo:after"});
  // x and z wait for the host; y, between them, was answered at once.
  ASSERT_TRUE(PumpMessagesUntil([this] { return gathered_.size() == 2; }));

  StopEngine();

  EXPECT_THAT(TestApplicationOutcomes(),
              ElementsAre("args=9", "await 0=none", "await 1=answered:re:y", "await 2=none",
                          "post test/echo=refused", "await 3=none", "test/echo=none"));
  EXPECT_THAT(received_, ElementsAre("test/gather:x", "test/echo:y", "test/gather:z"));
}

TEST_F(EngineStandInTest, TicketsAreAwaitedOnceAndBadCallsAreRefusedWithOneLineEach) {
  ::testing::internal::CaptureStderr();
  StartEngine({"services", "post:test/echo:a", "await-without-slots:0", "await:0", "await:0",
               "await-unknown", "post-without-channel", "await:1", "send:test/echo:b"});
  const bool closed = RunUntilTheWindowIsClosed();
  StopEngine();
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(closed);
  EXPECT_THAT(diagnostics, HasSubstr("await_reply needs"));
  EXPECT_THAT(diagnostics, HasSubstr("post_message needs"));
  EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 2) << diagnostics;
  EXPECT_THAT(
      TestApplicationOutcomes(),
      ElementsAre(
          "args=9", "services=" + std::to_string(sizeof(HalvexEngineServices)) + " post await",
          // Refused before the ticket is taken: the next wait still gets it.
          "await 0 without slots=0", "await 0=answered:re:a", "await 0=none", "await unknown=0",
          "post no channel=0", "await 1=none", "test/echo=answered:re:b"));
  EXPECT_THAT(received_, ElementsAre("test/echo:a", "test/echo:b"));
}

TEST_F(EngineStandInTest, MessageWithoutChannelIsRefusedWithOneLine) {
  ::testing::internal::CaptureStderr();
  StartEngine({"send-without-channel", "send:test/echo:still working"});
  const bool closed = RunUntilTheWindowIsClosed();
  StopEngine();
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(closed);
  EXPECT_THAT(diagnostics, HasSubstr("send_message needs"));
  EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
  EXPECT_THAT(TestApplicationOutcomes(),
              ElementsAre("args=2", "no channel=0", "test/echo=answered:re:still working"));
  EXPECT_THAT(received_, ElementsAre("test/echo:still working"));
}

TEST_F(EngineStandInTest, ApplicationWithoutArgumentsGetsNone) {
  StartEngine({});
  ASSERT_TRUE(RunUntilTheWindowIsClosed());
  StopEngine();
  EXPECT_THAT(TestApplicationOutcomes(), ElementsAre("args=0"));
}

struct NextFrameProbe {
  int runs = 0;
  bool on_platform_thread = true;
  std::thread::id platform_thread = std::this_thread::get_id();

  static void Run(void* user_data) {
    auto* probe = static_cast<NextFrameProbe*>(user_data);
    ++probe->runs;
    probe->on_platform_thread &= std::this_thread::get_id() == probe->platform_thread;
  }
};

TEST_F(EngineStandInTest, NextFrameCallbackRunsOnceOnThePlatformThreadAfterAFrame) {
  struct Case {
    const char* name;
    std::vector<std::string> commands;
    bool force_redraw;
    int expected_runs;
  };
  const Case cases[] = {
      {"first frame of the application", {"frame"}, false, 1},
      {"two frames", {"frame", "frame"}, false, 1},
      {"forced redraw without a frame", {}, true, 1},
      {"forced redraw and frames", {"frame", "frame"}, true, 1},
      {"no frame and no redraw", {}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewTopLevelWindow();
    NextFrameProbe probe;
    StartEngine(c.commands);
    FlutterDesktopEngineSetNextFrameCallback(engine_, &NextFrameProbe::Run, &probe);
    if (c.force_redraw) {
      FlutterDesktopViewControllerForceRedraw(controller_);
      EXPECT_EQ(probe.runs, 0) << "a redraw is drawn from the message loop, not inside the call";
    }
    ASSERT_TRUE(RunUntilTheWindowIsClosed());
    StopEngine();
    EXPECT_EQ(probe.runs, c.expected_runs);
    EXPECT_TRUE(probe.on_platform_thread);
  }
}

TEST_F(EngineStandInTest, ForcedRedrawRunsANewlySetCallbackAgain) {
  halvex::engine_testing::DisableApplication(true);
  NextFrameProbe first;
  NextFrameProbe second;
  StartEngine({});
  FlutterDesktopEngineSetNextFrameCallback(engine_, &NextFrameProbe::Run, &first);
  FlutterDesktopViewControllerForceRedraw(controller_);
  ASSERT_TRUE(PumpMessagesUntil([&] { return first.runs == 1; }));
  FlutterDesktopEngineSetNextFrameCallback(engine_, &NextFrameProbe::Run, &second);
  FlutterDesktopViewControllerForceRedraw(controller_);
  ASSERT_TRUE(PumpMessagesUntil([&] { return second.runs == 1; }));
  EXPECT_EQ(first.runs, 1);
  EXPECT_EQ(halvex::engine_testing::CallCounts().next_frame_callbacks_run, 2);
  EXPECT_EQ(halvex::engine_testing::CallCounts().force_redraw, 2);
  EXPECT_EQ(top_level_->close_requests(), 0) << "no application, nothing closes the window";
}

TEST_F(EngineStandInTest, ApplicationEndClosesTheTopLevelWindow) {
  struct Case {
    std::vector<std::string> commands;
    const char* diagnostic;
  };
  const Case cases[] = {
      {{}, ""},
      {{"status:0"}, ""},
      {{"status:3"}, "The application ended with status 3.\n"},
      {{"send:test/echo:a", "status:-1"}, "The application ended with status -1.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.diagnostic);
    NewTopLevelWindow();
    ::testing::internal::CaptureStderr();
    StartEngine(c.commands);
    const bool closed = RunUntilTheWindowIsClosed();
    StopEngine();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.diagnostic);
    EXPECT_TRUE(closed);
    EXPECT_EQ(top_level_->close_requests(), 1);
  }
}

TEST_F(EngineStandInTest, UnusableApplicationLibraryIsReportedAndClosesTheWindow) {
  struct Case {
    std::wstring path;
    const char* diagnostic;
  };
  const Case cases[] = {
      {L"engine_test_data\\missing.so", "Cannot load the application library"},
      {L"", "Cannot load the application library"},
      // A library that exists but is no application.
      {L"libgal_plugin.so", "does not export HalvexApplicationMain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.diagnostic);
    NewTopLevelWindow();
    ::testing::internal::CaptureStderr();
    StartEngine({"send:test/echo:never"}, c.path);
    const bool closed = RunUntilTheWindowIsClosed();
    StopEngine();
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(diagnostics, HasSubstr(c.diagnostic));
    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
    EXPECT_TRUE(closed);
    EXPECT_TRUE(received_.empty());
  }
}

TEST_F(EngineStandInTest, DestroyingTheControllerWakesAWaitingApplication) {
  StartEngine({"send:test/hold:x", "send:test/echo:after"});
  ASSERT_TRUE(PumpMessagesUntil([this] { return held_response_ != nullptr; }));
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held_messenger_));

  StopEngine();

  EXPECT_THAT(TestApplicationOutcomes(), ElementsAre("args=2", "test/hold=none", "test/echo=none"));
  // The messenger outlives the engine for whoever still holds it; a late answer goes nowhere.
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held_messenger_));
  FlutterDesktopMessengerSendResponse(held_messenger_, held_response_, nullptr, 0);
  FlutterDesktopMessengerRelease(held_messenger_);
  EXPECT_THAT(received_, ElementsAre("test/hold:x"));
}

TEST_F(EngineStandInTest, AnswerIsGivenOnlyOncePerMessage) {
  StartEngine({"send:test/hold:x", "send:test/hold:y"});
  ASSERT_TRUE(PumpMessagesUntil([this] { return held_response_ != nullptr; }));
  const FlutterDesktopMessageResponseHandle* first = held_response_;
  const std::string reply = "one";
  FlutterDesktopMessengerSendResponse(messenger_, first,
                                      reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
  FlutterDesktopMessengerRelease(held_messenger_);
  ASSERT_TRUE(PumpMessagesUntil([&] { return held_response_ != first; }));
  // The first message's handle is used up: answering it again must not answer the second.
  FlutterDesktopMessengerSendResponse(messenger_, first, nullptr, 0);
  FlutterDesktopMessengerSendResponse(messenger_, held_response_,
                                      reinterpret_cast<const uint8_t*>(reply.data()), reply.size());
  FlutterDesktopMessengerRelease(held_messenger_);
  ASSERT_TRUE(RunUntilTheWindowIsClosed());
  StopEngine();
  EXPECT_THAT(TestApplicationOutcomes(),
              ElementsAre("args=2", "test/hold=answered:one", "test/hold=answered:one"));
}

TEST_F(EngineStandInTest, HostMessagesGetTheEmptyAnswerOnThePlatformThread) {
  halvex::engine_testing::DisableApplication(true);
  StartEngine({});
  struct Reply {
    int calls = 0;
    size_t size = 99;
    bool on_platform_thread = false;
  };
  auto on_reply = [](const uint8_t* /*data*/, size_t size, void* user_data) {
    auto* reply = static_cast<Reply*>(user_data);
    ++reply->calls;
    reply->size = size;
    reply->on_platform_thread = true;
  };
  Reply delivered;
  Reply settled_at_shutdown;
  const uint8_t byte = 7;
  EXPECT_TRUE(FlutterDesktopMessengerSend(messenger_, "app/channel", &byte, 1));
  EXPECT_TRUE(FlutterDesktopMessengerSendWithReply(messenger_, "app/channel", &byte, 1, on_reply,
                                                   &delivered));
  EXPECT_EQ(delivered.calls, 0) << "never answered inside the send";
  ASSERT_TRUE(PumpMessagesUntil([&] { return delivered.calls > 0; }));
  EXPECT_TRUE(FlutterDesktopMessengerSendWithReply(messenger_, "app/channel", &byte, 1, on_reply,
                                                   &settled_at_shutdown));
  StopEngine();
  EXPECT_EQ(delivered.calls, 1);
  EXPECT_EQ(delivered.size, 0u);
  EXPECT_EQ(settled_at_shutdown.calls, 1);
  EXPECT_EQ(settled_at_shutdown.size, 0u);
}

TEST_F(EngineStandInTest, TestControlsScriptTheViewController) {
  halvex::engine_testing::DisableApplication(true);
  halvex::engine_testing::ConsumeTopLevelMessage(WM_FONTCHANGE, 0);
  halvex::engine_testing::ConsumeTopLevelMessage(WM_SIZE, -7);
  StartEngine({"a", "b"});
  struct Case {
    UINT message;
    bool handled;
    LRESULT result;
  };
  const Case cases[] = {{WM_FONTCHANGE, true, 0}, {WM_SIZE, true, -7}, {WM_ACTIVATE, false, 55}};
  for (const Case& c : cases) {
    LRESULT result = 55;
    EXPECT_EQ(FlutterDesktopViewControllerHandleTopLevelWindowProc(
                  controller_, top_level_->handle(), c.message, 0, 0, &result),
              c.handled)
        << c.message;
    EXPECT_EQ(result, c.result) << c.message;
  }

  FlutterDesktopEngineReloadSystemFonts(engine_);
  FlutterDesktopResyncOutputStreams();
  StopEngine();

  const halvex::engine_testing::EngineCallCounts counts = halvex::engine_testing::CallCounts();
  EXPECT_EQ(counts.engine_create, 1);
  EXPECT_EQ(counts.view_controller_create, 1);
  EXPECT_EQ(counts.view_controller_destroy, 1);
  EXPECT_EQ(counts.engine_destroy, 0);
  EXPECT_EQ(counts.reload_system_fonts, 1);
  EXPECT_EQ(counts.resync_output_streams, 1);
  const halvex::engine_testing::RecordedEngineProperties properties =
      halvex::engine_testing::LastEngineProperties();
  EXPECT_EQ(properties.aot_library_path, halvex::testing::kTestApplicationPath);
  EXPECT_EQ(properties.assets_path, L"engine_test_data\\flutter_assets");
  EXPECT_FALSE(properties.entrypoint_was_null);
  EXPECT_THAT(properties.entrypoint_arguments, ElementsAre("a", "b"));
  int width = 0;
  int height = 0;
  halvex::engine_testing::LastViewControllerSize(&width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
}

TEST_F(EngineStandInTest, RefusedViewControllerStillTakesTheEngine) {
  halvex::engine_testing::FailViewControllerCreation(true);
  FlutterDesktopEngineRef engine = halvex::testing::CreateEngine(L"unused", {});
  EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 50, engine), nullptr);
  EXPECT_EQ(halvex::engine_testing::CallCounts().engine_destroy, 0);
  EXPECT_EQ(halvex::engine_testing::CallCounts().view_controller_create, 1);
}

TEST(EngineLibraryTest, DpiForMonitorIsTheMonitorsEffectiveDpi) {
  for (UINT dpi : {96u, 120u, 144u, 168u}) {
    halvex::testing::ScopedDesktop desktop;
    ASSERT_TRUE(halvex::testing::SetMonitorDpi(0, dpi));
    HMONITOR monitor = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONEAREST);
    EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), dpi);
  }
}

TEST(EngineLibraryTest, NullHandlesGetDefinedAnswers) {
  EXPECT_EQ(FlutterDesktopEngineCreate(nullptr), nullptr);
  EXPECT_FALSE(FlutterDesktopEngineDestroy(nullptr));
  EXPECT_EQ(FlutterDesktopEngineGetMessenger(nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopEngineGetPluginRegistrar(nullptr, "x"), nullptr);
  EXPECT_EQ(FlutterDesktopPluginRegistrarGetMessenger(nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopViewControllerCreate(1, 1, nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopViewControllerGetView(nullptr), nullptr);
  EXPECT_EQ(FlutterDesktopViewGetHWND(nullptr), nullptr);
  LRESULT result = 5;
  EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(nullptr, nullptr, WM_SIZE, 0, 0,
                                                                    &result));
  EXPECT_EQ(result, 5);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(nullptr));
  EXPECT_FALSE(FlutterDesktopMessengerSend(nullptr, "c", nullptr, 0));
  EXPECT_EQ(FlutterDesktopMessengerAddRef(nullptr), nullptr);
  FlutterDesktopMessengerRelease(nullptr);
  FlutterDesktopViewControllerDestroy(nullptr);
  FlutterDesktopViewControllerForceRedraw(nullptr);
}

}  // namespace
