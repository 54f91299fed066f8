// Runs an action once, on a thread of its own, after a delay, unless it is cancelled first:
// the word that breaks a long silence while the main thread waits on the pad.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace morvik::cli {

class DelayedAction {
 public:
  DelayedAction() = default;
  ~DelayedAction() { cancel(); }
  DelayedAction(const DelayedAction&) = delete;
  DelayedAction& operator=(const DelayedAction&) = delete;

  // Cancels the action started before, if any.
  void start(std::chrono::milliseconds delay, std::function<void()> action);
  // Returns once the action has run or can no longer run: after it, nothing the action
  // touches is touched by its thread.
  void cancel();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool cancelled_ = false;
  std::thread thread_;
};

}  // namespace morvik::cli
