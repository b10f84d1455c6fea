// A window class for the desktop model's tests: its procedure logs every message it gets, across
// windows, and answers the ones a test scripts; everything else goes to DefWindowProcW.
#ifndef HALVEX_TESTS_PLATFORM_WIN32_TEST_WINDOW_H_
#define HALVEX_TESTS_PLATFORM_WIN32_TEST_WINDOW_H_

#include <windows.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace halvex::testing {

struct LoggedMessage {
  HWND hwnd;
  UINT message;
  bool operator==(const LoggedMessage& other) const {
    return hwnd == other.hwnd && message == other.message;
  }
};

class TestWindowClass {
 public:
  static constexpr const wchar_t* kName = L"HALVEX_TEST_WINDOW";

  TestWindowClass() {
    Current() = this;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kName;
    atom_ = RegisterClassW(&window_class);
  }
  ~TestWindowClass() { Current() = nullptr; }
  TestWindowClass(const TestWindowClass&) = delete;
  TestWindowClass& operator=(const TestWindowClass&) = delete;

  ATOM atom() const { return atom_; }

  // Every message, in the order the procedure got it.
  std::vector<LoggedMessage> log;
  // Answers for messages: the procedure returns them instead of calling DefWindowProcW.
  std::map<UINT, LRESULT> answers;
  // Runs when a message arrives, before it is answered.
  std::function<void(HWND, UINT, WPARAM, LPARAM)> on_message;

  HWND Create(DWORD style,
              RECT rect,
              HWND parent = nullptr,
              DWORD ex_style = 0,
              LPVOID parameter = nullptr) const {
    return CreateWindowExW(ex_style, kName, L"test", style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                           GetModuleHandleW(nullptr), parameter);
  }

  std::vector<UINT> MessagesOf(HWND hwnd) const {
    std::vector<UINT> messages;
    for (const LoggedMessage& entry : log) {
      if (entry.hwnd == hwnd) {
        messages.push_back(entry.message);
      }
    }
    return messages;
  }

 private:
  static TestWindowClass*& Current() {
    static TestWindowClass* current = nullptr;
    return current;
  }

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    TestWindowClass* self = Current();
    if (self != nullptr) {
      self->log.push_back({hwnd, message});
      if (self->on_message) {
        self->on_message(hwnd, message, wparam, lparam);
      }
      auto answer = self->answers.find(message);
      if (answer != self->answers.end()) {
        return answer->second;
      }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  ATOM atom_ = 0;
};

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_PLATFORM_WIN32_TEST_WINDOW_H_
