// --simulate --sim-replay TRACE: the one simulated pad answers as the recorded pad did
// (morvik/replay_pad.h). The trace must have been recorded with the image being sent.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "morvik/exit_codes.h"
#include "morvik/checked_image.h"
#include "morvik/replay_pad.h"
#include "pads/pad_source.h"

namespace morvik::cli {

class ReplaySource final : public PadSource {
 public:
  explicit ReplaySource(std::shared_ptr<ReplayPad> pad) : pad_(std::move(pad)) {}

  std::vector<PadEntry> enumerate() override;
  std::shared_ptr<PollingHidTransport> open(const PadEntry& pad, std::string& error) override;
  bool shared() const override { return false; }

  // The update's exit status, or ReplayDiffers (with the difference told on `err`) when the
  // program sent what the recording does not have.
  ExitCode ending(ExitCode updateEnding, std::ostream& err) const;

 private:
  std::shared_ptr<ReplayPad> pad_;
};

// Reads the trace at `path` for a replay of `image`; `latency`, when given, replaces the
// recorded pace. The words after "cannot replay TRACE: " when it cannot be replayed.
std::variant<std::unique_ptr<ReplaySource>, std::string> loadReplay(const std::string& path, const CheckedImage& image,
                                                                    std::optional<std::chrono::microseconds> latency);

}  // namespace morvik::cli
