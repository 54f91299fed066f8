#include "morvik/stop_signal.h"

#include <thread>

namespace morvik {

bool StopToken::sleepUntil(std::chrono::steady_clock::time_point deadline) const {
  if (!state_) {
    std::this_thread::sleep_until(deadline);
    return false;
  }
  std::unique_lock lock(state_->mutex);
  return state_->wake.wait_until(lock, deadline, [this] { return state_->stopped.load(); });
}

void StopSource::request_stop() {
  {
    // Set under the lock, so that a sleeper between its check and its wait cannot miss it.
    std::lock_guard lock(state_->mutex);
    state_->stopped.store(true, std::memory_order_release);
  }
  state_->wake.notify_all();
}

}  // namespace morvik
