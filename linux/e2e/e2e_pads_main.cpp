// morvik-e2e-pads: emulated pads under umockdev for the end-to-end scenarios. It builds a testbed,
// plugs in the pads (at once or after a delay), starts the programs under umockdev's preload so
// that hidapi's hidraw backend and libudev find the pads as real ones, pulls a pad out when its
// simulated pad goes away, and outlives the programs (they abort when the testbed's answers stop).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "run_options.h"

namespace morvik::e2e {
namespace {

using Clock = std::chrono::steady_clock;

pid_t start(const Command& command) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  std::this_thread::sleep_for(command.startAfter);
  std::vector<char*> argv;
  for (const std::string& arg : command.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::perror(argv[0]);
  _exit(127);
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

int run(const RunOptions& options) {
  UMockdevTestbed* testbed = umockdev_testbed_new();  // sets UMOCKDEV_DIR for the programs
  // A program run as another user (the permission scenario) must read the testbed as well.
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  chmod(root, 0755);
  g_free(root);
  // The sanitizer's runtime must come before any other preloaded library.
  setenv("LD_PRELOAD", MORVIK_E2E_PRELOAD_FIRST "libumockdev-preload.so.0 " MORVIK_E2E_SHIM, 1);

  std::vector<std::unique_ptr<EmulatedPad>> pads;
  for (const PadSetup& setup : options.pads)
    pads.push_back(std::make_unique<EmulatedPad>(testbed, static_cast<unsigned>(pads.size()), setup));
  std::vector<EmulatedPad*> waiting;
  for (auto& pad : pads) {
    if (pad->setup().plugAfter.count() > 0)
      waiting.push_back(pad.get());
    else if (!pad->plug())
      return 1;
  }

  const auto started = Clock::now();
  // A program that waits for the first pad's blocks is started from the loop below (pid 0 until then).
  std::vector<pid_t> programs;
  for (const auto& command : options.commands) programs.push_back(command.startAfterBlocks ? 0 : start(command));
  int firstStatus = 1;
  for (std::size_t running = programs.size(); running > 0;) {
    for (std::size_t i = 0; i < programs.size(); ++i) {
      const auto& blocks = options.commands[i].startAfterBlocks;
      if (programs[i] == 0 && !pads.empty() && pads.front()->dataFramesReceived() >= *blocks)
        programs[i] = start(options.commands[i]);
    }
    std::erase_if(waiting, [&](EmulatedPad* pad) {
      if (Clock::now() - started < pad->setup().plugAfter) return false;
      pad->plug();  // a failure is told on stderr, and the scenario sees no pad
      return true;
    });
    for (auto& pad : pads)
      if (pad->leaving()) pad->unplug();
    int status = 0;
    const pid_t ended = waitpid(-1, &status, WNOHANG);
    if (ended > 0) {
      --running;
      const std::size_t which =
          static_cast<std::size_t>(std::find(programs.begin(), programs.end(), ended) - programs.begin());
      if (which == 0) firstStatus = exitStatus(status);
      // A program still waiting for blocks that will not come (the first one ended) never starts.
      for (std::size_t i = 0; i < programs.size(); ++i)
        if (which == 0 && programs[i] == 0) {
          programs[i] = -1;
          --running;
          std::fprintf(stderr, "morvik-e2e-pads: program %zu never started: the first pad did not take %u blocks\n",
                       i + 1, *options.commands[i].startAfterBlocks);
        }
      if (programs.size() > 1 && which < programs.size())
        std::fprintf(stderr, "morvik-e2e-pads: program %zu (%s) exited with %d\n", which + 1,
                     options.commands[which].argv[0].c_str(), exitStatus(status));
    } else {
      usleep(5000);
    }
  }
  pads.clear();  // each saves what it received
  g_object_unref(testbed);
  return firstStatus;
}

}  // namespace
}  // namespace morvik::e2e

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = morvik::e2e::parseRunOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "morvik-e2e-pads: %s\n%s", error.c_str(), morvik::e2e::kRunUsage);
    return 2;
  }
  return morvik::e2e::run(*options);
}
