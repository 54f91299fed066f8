// Ctrl-C (SIGINT) and SIGTERM cancel the update cleanly through a stop request instead of
// killing the program mid-report. A second signal ends the program at once.
#pragma once

#include <stop_token>
#include <thread>

namespace morvik::cli {

class CancelOnSignal {
 public:
  // Must be made before any other thread starts, so that every thread blocks the signals
  // and only the watcher receives them.
  explicit CancelOnSignal(std::stop_source cancel);

 private:
  std::jthread watcher_;
};

}  // namespace morvik::cli
