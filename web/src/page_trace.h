// The page's record of an update, saved as a report for support: the trace file that
// morvik-update --trace=FILE writes (morvik/trace_writer.h), which --sim-replay plays again.
// It keeps the reports since the pad was opened up to the first update (the version query, which
// every update's replay begins with), and the last update's reports and ending; a report saved
// later still holds that update, even after the pad was plugged in again.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvik/exit_codes.h"
#include "morvik/image_file.h"
#include "morvik/protocol.h"

namespace morvik::web {

class PageTrace {
 public:
  using Clock = std::chrono::steady_clock;

  void padOpened();
  void padVersion(std::uint32_t version) { padVersion_ = version; }
  void padRemoved();
  // A report that crossed ("out" or "in"), or a failure of the link (kTraceWriteFailed...):
  // names that live as long as the program. Kept as bytes, and made text only when a report is
  // saved, so that a report costs no allocation (an update's room is taken when it begins).
  void report(std::string_view direction, std::span<const std::uint8_t> report);
  void linkFailed(std::string_view failure);

  // An update begins with this image; its ending follows (an update not yet ended has none).
  void updateStarted(const std::string& name, std::shared_ptr<const ImageBytes> bytes, std::uint32_t version);
  void updateEnded(ExitCode code, const std::string& reason);

  // The bytes of the recorded update's image, for its digest; null when no update was recorded.
  const std::shared_ptr<const ImageBytes>& image() const;
  // The whole file. `imageSha256` is the digest of image(); `time` the UTC time now.
  std::string text(const std::string& time, const std::string& userAgent, const std::string& imageSha256) const;

 private:
  struct Line {
    Clock::time_point at;
    std::string_view what;  // the direction, or the failure
    bool failure = false;
    std::uint8_t size = 0;
    std::array<std::uint8_t, kReportSize> bytes{};
  };
  struct Update {
    Clock::time_point began;  // when its pad was opened
    std::vector<Line> lines;
    std::string imageName;
    std::shared_ptr<const ImageBytes> image;
    std::uint32_t imageVersion = 0;
    std::optional<std::uint32_t> padVersion;
    std::optional<ExitCode> ending;  // none while it runs
    std::string reason;
  };
  void add(const Line& line);

  bool padOpen_ = false;
  Clock::time_point openedAt_ = Clock::now();
  std::vector<Line> opening_;
  bool openingDone_ = false;  // an update began since the pad was opened
  std::optional<std::uint32_t> padVersion_;
  std::optional<Update> update_;
  bool recording_ = false;  // update_ is under way
};

}  // namespace morvik::web
