#include "runner/win32_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <dwmapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runner/dpi_scale.h"
#include "runner/resources/resource.h"
#include "runner/window_class.h"
#include "runner_test_support.h"
#include "windows_testing/desktop.h"
#include "windows_testing/faults.h"

namespace {

using halvex::testing::InspectWindow;

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";
constexpr LogicalPoint kOrigin{10, 10};
constexpr LogicalSize kSize{1280, 720};

// Records what reaches the object, and lets the tests reach the protected operations.
class RecordingWindow : public Win32Window {
 public:
  using Win32Window::SetContent;

  bool on_created_result = true;
  int created_calls = 0;
  int destroying_calls = 0;
  std::vector<UINT> handled;                // Messages that reached HandleMessage, in order.
  std::vector<HWND> handle_when_handled;    // window_handle() at each of them.
  std::vector<UINT> window_position_flags;  // Flags of each WM_WINDOWPOSCHANGING.

 protected:
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) noexcept override {
    handled.push_back(message);
    handle_when_handled.push_back(window_handle());
    if (message == WM_WINDOWPOSCHANGING) {
      window_position_flags.push_back(reinterpret_cast<const WINDOWPOS*>(lparam)->flags);
    }
    return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
  }

  bool OnCreated() override {
    ++created_calls;
    return on_created_result;
  }

  void OnDestroying() override { ++destroying_calls; }
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW content_class{};
    content_class.lpfnWndProc = ::DefWindowProcW;
    content_class.hInstance = ::GetModuleHandleW(nullptr);
    content_class.lpszClassName = kContentClass;
    ASSERT_NE(::RegisterClassW(&content_class), 0);
    // Holds content children before they are handed over, as the engine's view is.
    parking_ = ::CreateWindowExW(0, kContentClass, L"parking", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parking_, nullptr);
  }

  HWND CreateContent() {
    return ::CreateWindowExW(0, kContentClass, L"content", WS_CHILD | WS_VISIBLE, 0, 0, 50, 40,
                             parking_, nullptr, nullptr, nullptr);
  }

  static constexpr wchar_t kContentClass[] = L"RUNNER_TEST_CONTENT";
  halvex::testing::ScopedDesktop desktop_;
  halvex::testing::ScopedFaults faults_;
  HWND parking_ = nullptr;
};

TEST(DpiScaleTest, ScalesByDpiOver96AndTruncatesTowardZero) {
  const struct {
    int32_t logical;
    UINT dpi;
    int32_t expected;
  } kCases[] = {
      {10, 96, 10},  {1280, 96, 1280}, {10, 120, 12},     {720, 120, 900},
      {10, 144, 15}, {10, 168, 17},    {1280, 168, 2240}, {-10, 168, -17},
      {7, 100, 7},   {10, 0, 10},      {720, 0, 720},     {1, 191, 1},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(halvex::ScaleToDpi(c.logical, c.dpi), c.expected)
        << c.logical << " at " << c.dpi << " dpi";
  }
}

TEST_F(Win32WindowTest, OriginAndSizeAreScaledToTheMonitorDpiAndTruncated) {
  const struct {
    UINT dpi;
    RECT expected;
  } kCases[] = {
      {96, {10, 10, 1290, 730}},
      {120, {12, 12, 1612, 912}},
      {144, {15, 15, 1935, 1095}},
      {168, {17, 17, 2257, 1277}},
      // A monitor of unknown DPI counts as 96 rather than collapsing the window.
      {0, {10, 10, 1290, 730}},
  };
  for (const auto& c : kCases) {
    halvex::testing::ResetDesktop();
    ASSERT_TRUE(halvex::testing::SetMonitorDpi(0, c.dpi));
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize)) << c.dpi;
    EXPECT_EQ(halvex::testing::WindowRect(window.window_handle()), c.expected) << c.dpi;
  }
}

TEST_F(Win32WindowTest, DpiComesFromTheMonitorNearestTheUnscaledOrigin) {
  // The scaled origin of the first case lies on the other monitor: only the unscaled one gives
  // the 192 dpi that is expected.
  const struct {
    LogicalPoint origin;
    RECT expected;
  } kCases[] = {
      {{600, 10}, {1200, 20, 1200 + 2560, 20 + 1440}},
      {{1500, 10}, {1500, 10, 1500 + 1280, 10 + 720}},
      {{-400, 10}, {-800, 20, -800 + 2560, 20 + 1440}},
      {{5000, 50}, {5000, 50, 5000 + 1280, 50 + 720}},
  };
  for (const auto& c : kCases) {
    halvex::testing::ResetDesktop();
    halvex::testing::SetMonitors({{{0, 0, 1000, 1000}, 192}, {{1000, 0, 3000, 1000}, 96}});
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"Halvex", c.origin, kSize));
    EXPECT_EQ(halvex::testing::WindowRect(window.window_handle()), c.expected)
        << c.origin.x << "," << c.origin.y;
  }
}

TEST_F(Win32WindowTest, CreatesAHiddenOverlappedWindowOfTheRegisteredClass) {
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  EXPECT_EQ(window.created_calls, 1);

  const auto info = InspectWindow(window.window_handle());
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->class_name, L"FLUTTER_RUNNER_WIN32_WINDOW");
  EXPECT_EQ(info->title, L"Halvex");
  EXPECT_EQ(info->creation_style, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
  EXPECT_EQ(info->ex_style, 0u);
  EXPECT_EQ(info->parent, nullptr);
  EXPECT_FALSE(info->visible);
  EXPECT_TRUE(info->show_commands.empty());

  const auto window_class = halvex::testing::InspectClass(L"FLUTTER_RUNNER_WIN32_WINDOW");
  ASSERT_TRUE(window_class.has_value());
  EXPECT_EQ(window_class->style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(window_class->instance, ::GetModuleHandleW(nullptr));
  const auto icon = halvex::testing::InspectResource(window_class->icon);
  ASSERT_TRUE(icon.has_value());
  EXPECT_EQ(icon->module, ::GetModuleHandleW(nullptr));
  EXPECT_EQ(icon->id, IDI_APP_ICON);
  EXPECT_EQ(icon->id, 101);
  EXPECT_FALSE(icon->is_cursor);
  const auto cursor = halvex::testing::InspectResource(window_class->cursor);
  ASSERT_TRUE(cursor.has_value());
  EXPECT_EQ(cursor->module, nullptr);
  EXPECT_EQ(cursor->id, 32512);  // IDC_ARROW
  EXPECT_TRUE(cursor->is_cursor);
  EXPECT_TRUE(WindowClassRegistry::Get().registered());
}

TEST_F(Win32WindowTest, MessagesBeforeNonClientCreationDoNotReachTheObject) {
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();

  const std::vector<UINT> received = halvex::testing::MessageIds(hwnd);
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0], static_cast<UINT>(WM_GETMINMAXINFO));
  EXPECT_EQ(received[1], static_cast<UINT>(WM_NCCREATE));
  ASSERT_FALSE(window.handled.empty());
  // The first message the object sees is the one right after WM_NCCREATE, and by then it knows
  // its window.
  EXPECT_EQ(window.handled.front(), received[2]);
  EXPECT_EQ(window.handled.size(), received.size() - 2);
  for (size_t i = 0; i < window.handled.size(); ++i) {
    EXPECT_NE(window.handled[i], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(window.handle_when_handled[i], hwnd);
  }
  EXPECT_EQ(InspectWindow(hwnd)->user_data, reinterpret_cast<LONG_PTR>(&window));
}

TEST_F(Win32WindowTest, FrameDpiScalingIsEnabledWhereTheSystemHasIt) {
  for (bool available : {true, false}) {
    halvex::testing::ResetDesktop();
    halvex::testing::SetSystemFunctionAvailable("EnableNonClientDpiScaling", available);
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize)) << available;
    EXPECT_EQ(InspectWindow(window.window_handle())->non_client_dpi_scaling, available);
  }
}

TEST_F(Win32WindowTest, CreationFailures) {
  {
    halvex::testing::FailCall("CreateWindowExW", E_FAIL, 1);
    RecordingWindow window;
    EXPECT_FALSE(window.Create(L"Halvex", kOrigin, kSize));
    EXPECT_EQ(window.window_handle(), nullptr);
    EXPECT_EQ(window.created_calls, 0);
    EXPECT_EQ(halvex::testing::CallCount("DwmSetWindowAttribute"), 0);
  }
  {
    RecordingWindow window;
    window.on_created_result = false;
    EXPECT_FALSE(window.Create(L"Halvex", kOrigin, kSize));
    const HWND hwnd = window.window_handle();
    // The window stays until the object goes.
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(InspectWindow(hwnd)->destroyed);
    window.Destroy();
    EXPECT_TRUE(InspectWindow(hwnd)->destroyed);
  }
}

TEST_F(Win32WindowTest, CreatingAgainDestroysTheFirstWindowAsIfItWereClosed) {
  for (bool quit_when_closed : {false, true}) {
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"first", kOrigin, kSize));
    window.SetQuitWhenClosed(quit_when_closed);
    const HWND first = window.window_handle();
    const int destroying_before = window.destroying_calls;
    ASSERT_TRUE(window.Create(L"second", kOrigin, kSize));
    EXPECT_TRUE(InspectWindow(first)->destroyed);
    EXPECT_NE(window.window_handle(), first);
    EXPECT_FALSE(InspectWindow(window.window_handle())->destroyed);
    // The hook runs for Create's own Destroy() and again for the WM_DESTROY it causes.
    EXPECT_EQ(window.destroying_calls, destroying_before + 2);
    EXPECT_EQ(halvex::testing::TakeQuitMessage(), quit_when_closed);
  }
}

TEST_F(Win32WindowTest, ThemeFollowsAppsUseLightTheme) {
  struct Case {
    const char* name;
    std::optional<halvex::testing::RegistryValue> value;
    std::optional<DWORD> expected_dark;
  };
  const auto dword = [](DWORD value) {
    halvex::testing::RegistryValue registry_value{REG_DWORD, std::vector<BYTE>(4)};
    for (int i = 0; i < 4; ++i) {
      registry_value.data[i] = static_cast<BYTE>(value >> (8 * i));
    }
    return registry_value;
  };
  const Case kCases[] = {
      {"missing", std::nullopt, std::nullopt},
      {"dark", dword(0), 1u},
      {"light", dword(1), 0u},
      {"other nonzero", dword(2), 0u},
      {"all bits", dword(0xFFFFFFFFu), 0u},
      {"not a DWORD", halvex::testing::RegistryValue{REG_SZ, {'0', 0, 0, 0}}, std::nullopt},
  };
  for (const Case& c : kCases) {
    halvex::testing::ResetDesktop();
    if (c.value.has_value()) {
      halvex::testing::SetRegistryValue(kPersonalizeKey, kLightThemeValue, *c.value);
    }
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize)) << c.name;
    EXPECT_EQ(halvex::testing::GetDwmAttributeDword(window.window_handle(),
                                                    DWMWA_USE_IMMERSIVE_DARK_MODE),
              c.expected_dark)
        << c.name;
  }
}

TEST_F(Win32WindowTest, ColorizationChangeReappliesTheTheme) {
  halvex::testing::SetRegistryDword(kPersonalizeKey, kLightThemeValue, 1);
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  ASSERT_EQ(halvex::testing::GetDwmAttributeDword(hwnd, DWMWA_USE_IMMERSIVE_DARK_MODE), 0u);

  halvex::testing::SetRegistryDword(kPersonalizeKey, kLightThemeValue, 0);
  EXPECT_EQ(::SendMessageW(hwnd, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
  EXPECT_EQ(halvex::testing::GetDwmAttributeDword(hwnd, DWMWA_USE_IMMERSIVE_DARK_MODE), 1u);

  // With the value gone the frame keeps the look it has: no call at all.
  ASSERT_TRUE(halvex::testing::RemoveRegistryValue(kPersonalizeKey, kLightThemeValue));
  const int calls = halvex::testing::CallCount("DwmSetWindowAttribute");
  EXPECT_EQ(::SendMessageW(hwnd, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0), 0);
  EXPECT_EQ(halvex::testing::CallCount("DwmSetWindowAttribute"), calls);
  EXPECT_EQ(halvex::testing::GetDwmAttributeDword(hwnd, DWMWA_USE_IMMERSIVE_DARK_MODE), 1u);
}

TEST_F(Win32WindowTest, SetContentMakesAFocusedChildFillingTheClientArea) {
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  const HWND content = CreateContent();
  ASSERT_NE(content, nullptr);

  window.SetContent(content);
  const auto info = InspectWindow(content);
  EXPECT_EQ(info->parent, hwnd);
  EXPECT_EQ(info->client_rect, halvex::testing::ClientRectOf(hwnd));
  EXPECT_TRUE(info->focused);
}

TEST_F(Win32WindowTest, SizeMovesTheContentOnlyWhenThereIsContent) {
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  const RECT before = halvex::testing::WindowRect(hwnd);
  EXPECT_EQ(::SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, 0), 0);
  EXPECT_EQ(halvex::testing::WindowRect(hwnd), before);

  const HWND content = CreateContent();
  window.SetContent(content);
  ASSERT_TRUE(::SetWindowPos(hwnd, nullptr, 0, 0, 800, 600, SWP_NOZORDER | SWP_NOMOVE));
  const RECT client = halvex::testing::ClientRectOf(hwnd);
  EXPECT_EQ(client.right, 800 - 2 * halvex::testing::kSizingFrameWidth);
  EXPECT_EQ(halvex::testing::ClientRectOf(content), client);
}

TEST_F(Win32WindowTest, ActivationFocusesTheContentEitherWay) {
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  EXPECT_EQ(::SendMessageW(hwnd, WM_ACTIVATE, WA_ACTIVE, 0), 0);  // No content yet.

  const HWND content = CreateContent();
  window.SetContent(content);
  for (WPARAM state : {WA_INACTIVE, WA_ACTIVE, WA_CLICKACTIVE}) {
    ::SetFocus(parking_);
    ASSERT_FALSE(InspectWindow(content)->focused);
    EXPECT_EQ(::SendMessageW(hwnd, WM_ACTIVATE, state, 0), 0) << state;
    EXPECT_TRUE(InspectWindow(content)->focused) << state;
  }
}

TEST_F(Win32WindowTest, DpiChangeMovesToTheSuggestedRectangleWithoutZOrderOrActivation) {
  const RECT kSuggested[] = {{100, 200, 900, 800}, {-50, 0, 2000, 1200}, {0, 0, 1, 1}};
  RecordingWindow window;
  ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
  const HWND hwnd = window.window_handle();
  for (const RECT& suggested : kSuggested) {
    window.window_position_flags.clear();
    RECT argument = suggested;
    EXPECT_EQ(::SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(144, 144),
                             reinterpret_cast<LPARAM>(&argument)),
              0);
    EXPECT_EQ(halvex::testing::WindowRect(hwnd), suggested);
    ASSERT_EQ(window.window_position_flags.size(), 1u);
    EXPECT_EQ(window.window_position_flags[0] & (SWP_NOZORDER | SWP_NOACTIVATE),
              static_cast<UINT>(0x0014));
  }
}

TEST_F(Win32WindowTest, ClosingEndsTheLoopOnlyWhenAskedTo) {
  for (bool quit_when_closed : {false, true}) {
    halvex::testing::ResetDesktop();
    halvex::testing::ResetFaults();
    RecordingWindow window;
    ASSERT_TRUE(window.Create(L"Halvex", kOrigin, kSize));
    window.SetQuitWhenClosed(quit_when_closed);
    const HWND hwnd = window.window_handle();
    const int destroying_before = window.destroying_calls;

    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(InspectWindow(hwnd)->destroyed);
    EXPECT_EQ(window.window_handle(), nullptr);
    EXPECT_EQ(window.destroying_calls, destroying_before + 1);
    EXPECT_EQ(halvex::testing::TakeQuitMessage(), quit_when_closed) << quit_when_closed;
    const int destroy_calls = halvex::testing::CallCount("DestroyWindow");
    window.Destroy();
    EXPECT_EQ(halvex::testing::CallCount("DestroyWindow"), destroy_calls);
  }
}

TEST_F(Win32WindowTest, ClassIsUnregisteredWithTheLastObjectOnly) {
  const auto class_registered = [] {
    return halvex::testing::InspectClass(L"FLUTTER_RUNNER_WIN32_WINDOW").has_value();
  };
  const int32_t count_before = Win32Window::live_window_count();
  auto first = std::make_unique<RecordingWindow>();
  auto second = std::make_unique<RecordingWindow>();
  EXPECT_EQ(Win32Window::live_window_count(), count_before + 2);
  ASSERT_TRUE(first->Create(L"first", kOrigin, kSize));
  ASSERT_TRUE(second->Create(L"second", kOrigin, kSize));

  ::SendMessageW(first->window_handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(class_registered());
  first.reset();
  EXPECT_EQ(Win32Window::live_window_count(), count_before + 1);
  EXPECT_TRUE(class_registered());
  EXPECT_TRUE(WindowClassRegistry::Get().registered());

  const HWND last = second->window_handle();
  ::SendMessageW(last, WM_CLOSE, 0, 0);
  EXPECT_TRUE(InspectWindow(last)->destroyed);
  EXPECT_TRUE(class_registered());
  second.reset();
  EXPECT_EQ(Win32Window::live_window_count(), count_before);
  EXPECT_FALSE(class_registered());
  EXPECT_FALSE(WindowClassRegistry::Get().registered());

  // And registered again by the next window.
  RecordingWindow third;
  ASSERT_TRUE(third.Create(L"third", kOrigin, kSize));
  EXPECT_TRUE(class_registered());
}

}  // namespace
