// A blocking first-in, first-out queue of bounded length, between one producer and one consumer
// thread.
#ifndef HALVEX_STANDIN_MEDIA_BOUNDED_QUEUE_H_
#define HALVEX_STANDIN_MEDIA_BOUNDED_QUEUE_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace halvex::platform::media {

template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  BoundedQueue(const BoundedQueue&) = delete;
  BoundedQueue& operator=(const BoundedQueue&) = delete;

  // Waits while the queue is full. Returns false, leaving `item` with the caller, once the queue
  // is closed.
  bool Push(T& item) {
    std::unique_lock<std::mutex> lock(mutex_);
    not_full_.wait(lock, [this] { return closed_ || items_.size() < capacity_; });
    if (closed_) {
      return false;
    }
    items_.push_back(std::move(item));
    not_empty_.notify_one();
    return true;
  }

  // Waits for an item. Returns false when the queue is closed and every item has been taken.
  bool Pop(T* item) {
    std::unique_lock<std::mutex> lock(mutex_);
    not_empty_.wait(lock, [this] { return closed_ || !items_.empty(); });
    if (items_.empty()) {
      return false;
    }
    *item = std::move(items_.front());
    items_.pop_front();
    not_full_.notify_one();
    return true;
  }

  // Refuses further items; those already queued can still be taken.
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    not_empty_.notify_all();
    not_full_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable not_full_;
  std::condition_variable not_empty_;
  std::deque<T> items_;
  bool closed_ = false;
};

}  // namespace halvex::platform::media

#endif  // HALVEX_STANDIN_MEDIA_BOUNDED_QUEUE_H_
