// A request to stop, shared between the thread that asks and the threads that watch.
//
// A small stand-in for std::stop_source and std::stop_token, which Apple's libc++ offers only
// as an experimental feature: the engine's interface must build with every toolchain the
// front-ends use. A default-made token is never stopped.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace morvik {

namespace detail {
struct StopState {
  std::atomic<bool> stopped{false};
  std::mutex mutex;
  std::condition_variable wake;
};
}  // namespace detail

class StopToken {
 public:
  StopToken() = default;
  bool stop_requested() const noexcept { return state_ && state_->stopped.load(std::memory_order_acquire); }
  // Sleeps until `deadline` or until a stop is requested, whichever comes first;
  // true when a stop was requested.
  bool sleepUntil(std::chrono::steady_clock::time_point deadline) const;

 private:
  friend class StopSource;
  explicit StopToken(std::shared_ptr<detail::StopState> state) : state_(std::move(state)) {}
  std::shared_ptr<detail::StopState> state_;
};

class StopSource {
 public:
  StopSource() : state_(std::make_shared<detail::StopState>()) {}
  StopToken get_token() const { return StopToken(state_); }
  bool stop_requested() const noexcept { return state_->stopped.load(std::memory_order_acquire); }
  void request_stop();

 private:
  std::shared_ptr<detail::StopState> state_;
};

}  // namespace morvik
