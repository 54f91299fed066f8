// Ctrl-C (SIGINT), SIGTERM and SIGHUP (a closed terminal or SSH session) cancel the update
// cleanly through a stop request instead of killing the program mid-report: a pad stopped
// part-way stays in boot mode. A second Ctrl-C or SIGTERM ends the program at once.
#pragma once

#include <thread>

#include "morvik/stop_signal.h"

namespace morvik::cli {

class CancelOnSignal {
 public:
  // Must be made before any other thread starts, so that every thread blocks the signals
  // and only the watcher receives them.
  explicit CancelOnSignal(StopSource cancel);
  ~CancelOnSignal();
  CancelOnSignal(const CancelOnSignal&) = delete;
  CancelOnSignal& operator=(const CancelOnSignal&) = delete;

 private:
  StopSource ending_;
  std::thread watcher_;
};

}  // namespace morvik::cli
