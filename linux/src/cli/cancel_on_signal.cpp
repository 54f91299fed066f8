#include "cli/cancel_on_signal.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string_view>

#include "cli/cancel_note.h"
#include "morvik/exit_codes.h"

namespace morvik::cli {
namespace {

sigset_t cancelSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);  // the terminal or SSH session went away
  return set;
}

// What the first signal says: only a person at the keyboard can press Ctrl-C again.
std::string_view cancellingNote(int received) {
  switch (received) {
    case SIGINT: return "\nCancelling... (press Ctrl-C again to quit at once)\n";
    case SIGHUP: return "\nCancelling: the terminal went away (SIGHUP)...\n";
    default: return "\nCancelling: the program was asked to stop (SIGTERM)...\n";
  }
}

}  // namespace

CancelOnSignal::CancelOnSignal(StopSource cancel) {
  const sigset_t set = cancelSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([set, cancel, ending = ending_.get_token()]() mutable {
    // Waits in slices so that the watcher ends with the program.
    const timespec slice{0, 100'000'000};
    while (!ending.stop_requested()) {
      const int received = sigtimedwait(&set, nullptr, &slice);
      if (received < 0) continue;
      // A hang-up often comes twice (from the terminal and from the shell); nobody is there to hurry.
      if (cancel.stop_requested() && received != SIGHUP) std::_Exit(toInt(ExitCode::Cancelled));
      const std::string_view note = cancellingNote(received);
      if (!holdCancelNote(note)) {
        [[maybe_unused]] const auto written = write(STDERR_FILENO, note.data(), note.size());
      }
      cancel.request_stop();
    }
  });
}

CancelOnSignal::~CancelOnSignal() {
  ending_.request_stop();
  watcher_.join();
}

}  // namespace morvik::cli
