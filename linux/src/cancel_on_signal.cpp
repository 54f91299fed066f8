#include "cancel_on_signal.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "exit_codes.h"

namespace morvik::cli {
namespace {

sigset_t cancelSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

CancelOnSignal::CancelOnSignal(StopSource cancel) {
  const sigset_t set = cancelSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([set, cancel, ending = ending_.get_token()]() mutable {
    // Waits in slices so that the watcher ends with the program.
    const timespec slice{0, 100'000'000};
    while (!ending.stop_requested()) {
      if (sigtimedwait(&set, nullptr, &slice) < 0) continue;
      if (cancel.stop_requested()) std::_Exit(toInt(ExitCode::Cancelled));
      static constexpr char kNote[] = "\nCancelling... (press Ctrl-C again to quit at once)\n";
      [[maybe_unused]] const auto written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
      cancel.request_stop();
    }
  });
}

CancelOnSignal::~CancelOnSignal() {
  ending_.request_stop();
  watcher_.join();
}

}  // namespace morvik::cli
