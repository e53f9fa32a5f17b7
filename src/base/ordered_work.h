// The one worker pool: items 0, 1, 2, ... made on worker threads and handed to the
// calling thread in their order. A run converts chunks of entities this way, and the
// command line whole drawings; in both, everything the user sees happens on the
// calling thread, in order, as a serial run would do it.
#pragma once

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace varnolt {

template <typename T>
class OrderedWork {
 public:
  using Make = std::function<T(size_t)>;

  // `count` items, made by `make` on up to `threads` workers, at most `aheadPerThread`
  // items per worker made and not yet taken (so memory stays bounded). With one
  // thread, one item, or no thread to be had, each item is made on the calling thread
  // when it is taken.
  OrderedWork(size_t count, unsigned threads, size_t aheadPerThread, Make make)
      : count_(count), make_(std::move(make)) {
    if (threads > 1 && count > 1) {
      const size_t workers = std::min<size_t>(threads, count);
      window_ = workers * std::max<size_t>(aheadPerThread, 1);
      slots_.resize(window_);
      try {
        for (size_t k = 0; k < workers; ++k) workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        // No more threads to be had: the ones started carry the work, or the calling
        // thread alone.
      }
    }
  }

  // Stops the workers: items being made are finished, items not started are skipped.
  ~OrderedWork() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    workCv_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  size_t count() const { return count_; }

  // Item `i`, made. Items are taken once each, in order; what making one threw is
  // thrown here, when its turn comes.
  T Take(size_t i) {
    assert(i == taken_ && i < count_);
    if (workers_.empty()) {
      ++taken_;
      return make_(i);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[i % window_];
    doneCv_.wait(lock, [&] { return slot.ready; });
    Slot made = std::move(slot);
    slot = Slot{};
    ++taken_;  // frees the slot for item i + window
    lock.unlock();
    workCv_.notify_all();
    if (made.error) std::rethrow_exception(made.error);
    return std::move(*made.value);
  }

 private:
  struct Slot {
    std::optional<T> value;
    std::exception_ptr error;
    bool ready = false;
  };

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      workCv_.wait(lock, [&] { return stop_ || (next_ < count_ && next_ < taken_ + window_); });
      if (stop_) return;
      const size_t i = next_++;
      lock.unlock();
      Slot made;
      try {
        made.value.emplace(make_(i));
      } catch (...) {
        made.error = std::current_exception();
      }
      made.ready = true;
      lock.lock();
      slots_[i % window_] = std::move(made);
      doneCv_.notify_all();
    }
  }

  const size_t count_;
  const Make make_;
  size_t window_ = 1;
  std::vector<Slot> slots_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable workCv_, doneCv_;
  size_t next_ = 0;   // the next item a worker makes
  size_t taken_ = 0;  // items handed to the calling thread
  bool stop_ = false;
};

}  // namespace varnolt
