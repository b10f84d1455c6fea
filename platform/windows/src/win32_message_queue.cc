// One message queue per thread: posted messages, messages sent from other threads, WM_QUIT.
#include <algorithm>
#include <chrono>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_windows.h"

namespace halvex::platform::win32 {
namespace {

DWORD TickCount() {
  static const auto start = std::chrono::steady_clock::now();
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));

void OnThreadExit(DWORD thread_id) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  // The system destroys a thread's windows when the thread ends; no procedure can run any more.
  for (auto& [handle, window] : desktop.windows) {
    if (window->thread_id == thread_id && window->phase != WindowPhase::kDestroyed) {
      FinishDestroyLocked(desktop, *window);
    }
  }
  auto queue = desktop.queues.find(thread_id);
  if (queue == desktop.queues.end()) {
    return;
  }
  for (const std::shared_ptr<SentMessage>& sent : queue->second->sent) {
    sent->done = true;
    auto sender = desktop.queues.find(sent->sender_thread);
    if (sender != desktop.queues.end()) {
      sender->second->wake.notify_all();
    }
  }
  desktop.queues.erase(queue);
}

// Removes the calling thread's queue and windows when the thread ends.
class ThreadQueueOwner {
 public:
  ThreadQueueOwner() : thread_id_(GetCurrentThreadId()) {}
  ~ThreadQueueOwner() { OnThreadExit(thread_id_); }
  ThreadQueueOwner(const ThreadQueueOwner&) = delete;
  ThreadQueueOwner& operator=(const ThreadQueueOwner&) = delete;
  void Touch() {}

 private:
  DWORD thread_id_;
};

// Runs the oldest message sent to this thread from another one, without the lock, and wakes the
// sender.
void RunSentLocked(std::unique_lock<std::mutex>& lock, Desktop& desktop, MessageQueue& queue) {
  std::shared_ptr<SentMessage> sent = queue.sent.front();
  queue.sent.pop_front();
  LRESULT result = 0;
  if (WindowRecord* window = FindWindowLocked(desktop, sent->hwnd)) {
    const WNDPROC procedure = window->procedure;
    window->messages.push_back({sent->message, sent->wparam, sent->lparam});
    lock.unlock();
    result = procedure(sent->hwnd, sent->message, sent->wparam, sent->lparam);
    lock.lock();
  }
  sent->result = result;
  sent->done = true;
  auto sender = desktop.queues.find(sent->sender_thread);
  if (sender != desktop.queues.end()) {
    sender->second->wake.notify_all();
  }
}

bool MatchesFilter(Desktop& desktop, const MSG& message, HWND filter, UINT min, UINT max) {
  // WM_QUIT passes every filter.
  if (message.message == WM_QUIT) {
    return true;
  }
  if (filter == kThreadMessagesOnly) {
    if (message.hwnd != nullptr) {
      return false;
    }
  } else if (filter != nullptr) {
    if (message.hwnd == nullptr || !IsInSubtreeLocked(desktop, filter, message.hwnd)) {
      return false;
    }
  }
  if (min == 0 && max == 0) {
    return true;
  }
  return message.message >= min && message.message <= max;
}

// Runs every pending sent message, then takes the first posted message that passes the filter;
// WM_QUIT from PostQuitMessage comes only when no posted message does, and WM_PAINT only when
// neither does.
bool RetrieveLocked(std::unique_lock<std::mutex>& lock,
                    Desktop& desktop,
                    MessageQueue& queue,
                    HWND filter,
                    UINT min,
                    UINT max,
                    bool remove,
                    MSG* out) {
  while (!queue.sent.empty()) {
    RunSentLocked(lock, desktop, queue);
  }
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (MatchesFilter(desktop, *it, filter, min, max)) {
      *out = *it;
      if (remove) {
        queue.posted.erase(it);
      }
      return true;
    }
  }
  if (queue.quit_pending) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, TickCount(), {0, 0}, 0};
    if (remove) {
      queue.quit_pending = false;
    }
    return true;
  }
  // WM_PAINT stays due until the window is painted, so it is never removed here.
  const bool paint_in_range = (min == 0 && max == 0) || (WM_PAINT >= min && WM_PAINT <= max);
  if (paint_in_range && filter != kThreadMessagesOnly) {
    if (HWND window = WindowToPaintLocked(desktop, filter)) {
      *out = MSG{window, WM_PAINT, 0, 0, TickCount(), {0, 0}, 0};
      return true;
    }
  }
  return false;
}

// A window filter must be a window of the calling thread.
bool FilterIsValidLocked(Desktop& desktop, HWND filter) {
  if (filter == nullptr || filter == kThreadMessagesOnly) {
    return true;
  }
  const WindowRecord* window = FindWindowLocked(desktop, filter);
  return window != nullptr && window->thread_id == GetCurrentThreadId();
}

void PostLocked(MessageQueue& queue, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  queue.posted.push_back(MSG{hwnd, message, wparam, lparam, TickCount(), {0, 0}, 0});
  queue.wake.notify_all();
}

}  // namespace

MessageQueue& EnsureQueueLocked(Desktop& desktop) {
  thread_local ThreadQueueOwner owner;
  owner.Touch();
  std::unique_ptr<MessageQueue>& queue = desktop.queues[GetCurrentThreadId()];
  if (!queue) {
    queue = std::make_unique<MessageQueue>();
  }
  return *queue;
}

void PurgeMessagesLocked(Desktop& desktop, HWND hwnd) {
  for (auto& [thread_id, queue] : desktop.queues) {
    auto& posted = queue->posted;
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                [hwnd](const MSG& message) { return message.hwnd == hwnd; }),
                 posted.end());
  }
}

LRESULT SendToWindow(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window->thread_id == GetCurrentThreadId()) {
    const WNDPROC procedure = window->procedure;
    window->messages.push_back({message, wparam, lparam});
    lock.unlock();
    return procedure(hwnd, message, wparam, lparam);
  }
  const DWORD owner_thread = window->thread_id;
  MessageQueue& own_queue = EnsureQueueLocked(desktop);
  auto owner_queue = desktop.queues.find(owner_thread);
  if (owner_queue == desktop.queues.end()) {
    return 0;
  }
  auto sent = std::make_shared<SentMessage>(
      SentMessage{hwnd, message, wparam, lparam, GetCurrentThreadId()});
  owner_queue->second->sent.push_back(sent);
  owner_queue->second->wake.notify_all();
  // While waiting, messages sent to this thread still run, so two threads sending to each other
  // do not wait for ever.
  while (!sent->done) {
    if (!own_queue.sent.empty()) {
      RunSentLocked(lock, desktop, own_queue);
      continue;
    }
    own_queue.wake.wait(lock);
  }
  return sent->result;
}

}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::EnsureQueueLocked;
using halvex::platform::win32::FindWindowLocked;
using halvex::platform::win32::InjectedFault;
using halvex::platform::win32::MessageQueue;
using halvex::platform::win32::TheDesktop;
using halvex::platform::win32::WindowRecord;

extern "C" {

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (InjectedFault("GetMessageW")) {
    if (lpMsg != nullptr) {
      *lpMsg = MSG{};
    }
    return -1;
  }
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  MessageQueue& queue = EnsureQueueLocked(desktop);
  for (;;) {
    if (!halvex::platform::win32::FilterIsValidLocked(desktop, hWnd)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
    if (halvex::platform::win32::RetrieveLocked(lock, desktop, queue, hWnd, wMsgFilterMin,
                                                wMsgFilterMax, true, lpMsg)) {
      return lpMsg->message == WM_QUIT ? FALSE : TRUE;
    }
    queue.wake.wait(lock);
  }
}

BOOL WINAPI
PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (InjectedFault("PeekMessageW")) {
    return FALSE;
  }
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  MessageQueue& queue = EnsureQueueLocked(desktop);
  if (!halvex::platform::win32::FilterIsValidLocked(desktop, hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return halvex::platform::win32::RetrieveLocked(lock, desktop, queue, hWnd, wMsgFilterMin,
                                                 wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0,
                                                 lpMsg)
             ? TRUE
             : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  // Counted, so a test can see that a loop translates; there is nothing to translate into.
  static_cast<void>(halvex::platform::CheckFault("TranslateMessage"));
  static_cast<void>(lpMsg);
  return FALSE;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
  if (InjectedFault("DispatchMessageW")) {
    return 0;
  }
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (lpMsg->hwnd == nullptr) {
    return 0;  // A thread message has no procedure to go to.
  }
  Desktop& desktop = TheDesktop();
  std::unique_lock<std::mutex> lock(desktop.mutex);
  WindowRecord* window = FindWindowLocked(desktop, lpMsg->hwnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (window->thread_id != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  const WNDPROC procedure = window->procedure;
  window->messages.push_back({lpMsg->message, lpMsg->wParam, lpMsg->lParam});
  lock.unlock();
  return procedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (InjectedFault("PostMessageW")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (hWnd == nullptr) {
    halvex::platform::win32::PostLocked(EnsureQueueLocked(desktop), nullptr, Msg, wParam, lParam);
    return TRUE;
  }
  const WindowRecord* window = FindWindowLocked(desktop, hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto queue = desktop.queues.find(window->thread_id);
  if (queue == desktop.queues.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  halvex::platform::win32::PostLocked(*queue->second, hWnd, Msg, wParam, lParam);
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (InjectedFault("PostThreadMessageW")) {
    return FALSE;
  }
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  // A thread has a queue only once it has made a window or message call.
  auto queue = desktop.queues.find(idThread);
  if (queue == desktop.queues.end()) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return FALSE;
  }
  halvex::platform::win32::PostLocked(*queue->second, nullptr, Msg, wParam, lParam);
  return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (InjectedFault("SendMessageW")) {
    return 0;
  }
  return halvex::platform::win32::SendToWindow(hWnd, Msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
  // Counted only: the call cannot fail.
  static_cast<void>(halvex::platform::CheckFault("PostQuitMessage"));
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  MessageQueue& queue = EnsureQueueLocked(desktop);
  queue.quit_pending = true;
  queue.quit_code = nExitCode;
  queue.wake.notify_all();
}

}  // extern "C"
