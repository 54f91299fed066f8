// The three ways a bench shows itself: on a terminal, one line per pad redrawn in place; in a
// file or pipe, one line per event naming its pad; with --json, one JSON object per event.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "console/progress_display.h"
#include "feed/feed_provenance.h"

namespace morvik::cli {

// One pad's line on the terminal, fitted to `columns` (the last column stays free, so the line
// never wraps): the label, the versions, then a bar and its percentage, or the outcome. Short of
// room, the versions go first, then the label is cut: the percent and the outcome stay.
std::string padLine(const std::string& label, const std::string& versions, std::int32_t percent,
                    const std::string& outcome, int columns);

class TerminalBenchView final : public BenchView {
 public:
  // `lines` is the terminal's height: rows that would not fit are summed up in one line, since
  // rows scrolled off the screen can no longer be redrawn.
  TerminalBenchView(std::ostream& out, TerminalColumns columns = standardOutputColumns,
                    TerminalColumns lines = standardOutputLines)
      : out_(out), columns_(std::move(columns)), lines_(std::move(lines)) {}
  void padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t imageVersion) override;
  void padProgress(const PadEntry& pad, std::int32_t percent) override;
  void padFinished(const PadResult& result) override;
  void refresh() override;
  void note(const std::string& text) override;
  void tally(const BenchTally& tally, ExitCode code) override;

 private:
  struct Row {
    std::string label, versions, outcome;
    std::int32_t percent = -1;  // -1 until the update began
    bool updated = false;
    bool unseen = false;  // hidden or cut short in the last frame drawn
  };
  Row& row(const PadEntry& pad);  // the pad's row, new at the bottom when it has none
  void draw();                    // with the mutex held

  std::mutex mutex_;
  std::ostream& out_;
  TerminalColumns columns_;
  TerminalColumns lines_;
  std::vector<Row> rows_;
  std::map<std::string, std::size_t> rowOfPath_;
  std::size_t drawnRows_ = 0;
  int drawnColumns_ = 0;
  bool dirty_ = false;
};

class LineBenchView final : public BenchView {
 public:
  explicit LineBenchView(std::ostream& out) : out_(out) {}
  void padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t imageVersion) override;
  void padProgress(const PadEntry& pad, std::int32_t percent) override;
  void padFinished(const PadResult& result) override;
  void note(const std::string& text) override;
  void tally(const BenchTally& tally, ExitCode code) override;

 private:
  void line(const std::string& text);
  std::mutex mutex_;
  std::ostream& out_;
  std::map<std::string, std::int32_t> shownTenths_;  // the last tenth of progress shown per pad
};

class JsonBenchView final : public BenchView {
 public:
  // Each outcome names `feed`'s release when the image came from the feed.
  explicit JsonBenchView(std::ostream& out, std::optional<FeedProvenance> feed = std::nullopt)
      : out_(out), feed_(std::move(feed)) {}
  void padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t imageVersion) override;
  void padProgress(const PadEntry& pad, std::int32_t percent) override;
  void padFinished(const PadResult& result) override;
  void note(const std::string& text) override;
  void tally(const BenchTally& tally, ExitCode code) override;

 private:
  void write(const std::string& line);
  std::mutex mutex_;
  std::ostream& out_;
  std::map<std::string, std::int32_t> shown_;  // the last percentage written per pad
  std::optional<FeedProvenance> feed_;
};

}  // namespace morvik::cli
