#include "console/delayed_action.h"

namespace morvik::cli {

void DelayedAction::start(std::chrono::milliseconds delay, std::function<void()> action) {
  cancel();
  {
    const std::lock_guard lock(mutex_);
    cancelled_ = false;
  }
  thread_ = std::thread([this, delay, action = std::move(action)] {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, delay, [this] { return cancelled_; })) return;
    lock.unlock();
    action();
  });
}

void DelayedAction::cancel() {
  {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace morvik::cli
