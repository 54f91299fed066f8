#include "bench/bench_views.h"

#include <algorithm>
#include <cstdio>

#include "bench/outcome_log.h"
#include "morvik/json_line.h"
#include "morvik/version_text.h"
#include "morvik/protocol.h"

namespace morvik::cli {
namespace {

constexpr const char* kClearToLineEnd = "\x1b[K";

// Columns a UTF-8 text takes: one per character (the labels hold no wide characters).
std::size_t columnsOf(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The first `columns` characters of a UTF-8 text.
std::string fitted(const std::string& text, std::size_t columns) {
  std::size_t seen = 0;
  for (std::size_t at = 0; at < text.size(); ++at)
    if ((text[at] & 0xC0) != 0x80 && seen++ == columns) return text.substr(0, at);
  return text;
}

std::string versionsText(std::optional<std::uint32_t> before, std::uint32_t imageVersion) {
  return versionBeforeText(before) + " → " + versionText(imageVersion);
}

std::string outcomeText(const PadResult& result) {
  std::string text = outcomeName(result.outcome);
  if (!result.reason.empty()) text += ": " + result.reason;
  return text;
}

}  // namespace

std::string padLine(const std::string& label, const std::string& versions, std::int32_t percent,
                    const std::string& outcome, int columns) {
  const std::size_t width = static_cast<std::size_t>(std::max(columns - 1, 1));
  const std::string figure = percent >= 0 ? std::to_string(std::clamp(percent, 0, 100)) + "%" : "";
  // The percent and the outcome matter most: when the line is short of room, the versions go
  // first, then the label is cut.
  const std::string tail = outcome.empty() ? figure : outcome;
  for (const std::string& head : {label + "  " + versions + "  ", label + "  "}) {
    if (columnsOf(head) + columnsOf(tail) > width) continue;
    std::string text = head;
    if (!outcome.empty()) {
      text += outcome;
    } else if (percent >= 0) {
      const int room =
          static_cast<int>(width) - static_cast<int>(columnsOf(text)) - 3 - static_cast<int>(figure.size());
      const int bar = std::min(room, 30);
      if (bar >= 5) {
        const int filled = std::clamp(percent, 0, 100) * bar / 100;
        text += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(bar - filled), '-') + "] ";
      }
      text += figure;
    }
    return text;
  }
  // The path stays whole, so the line still says which pad it is; the serial is cut first.
  const std::string path = label.substr(0, label.find(" ("));
  const std::size_t left = std::max(columnsOf(tail) + 1 < width ? width - columnsOf(tail) - 1 : 0, columnsOf(path));
  return fitted(fitted(label, left) + " " + tail, width);
}

// ---------------------------------------------------------------- terminal

TerminalBenchView::Row& TerminalBenchView::row(const PadEntry& pad) {
  const auto [at, added] = rowOfPath_.try_emplace(pad.path, rows_.size());
  if (added) rows_.push_back(Row{padLabel(pad), "", "", -1, false, false});
  return rows_[at->second];
}

void TerminalBenchView::padFound(const PadEntry& pad, std::optional<std::uint32_t> version,
                                 std::uint32_t imageVersion) {
  const std::lock_guard lock(mutex_);
  Row& r = row(pad);
  r = Row{r.label, versionsText(version, imageVersion), "", -1, false, false};
  dirty_ = true;
}

void TerminalBenchView::padProgress(const PadEntry& pad, std::int32_t percent) {
  const std::lock_guard lock(mutex_);
  Row& r = row(pad);
  dirty_ = dirty_ || r.percent != percent;
  r.percent = percent;
}

void TerminalBenchView::padFinished(const PadResult& result) {
  const std::lock_guard lock(mutex_);
  Row& r = row(result.pad);
  if (r.versions.empty()) r.versions = versionsText(result.versionBefore, result.imageVersion);
  r.outcome = outcomeText(result);
  r.updated = result.outcome == PadOutcome::Updated;
  dirty_ = true;
}

// Only from the bench's thread: the rows are redrawn in place, at most ten times a second, and
// only when something changed. One write per frame, so the terminal never shows half a frame.
void TerminalBenchView::refresh() {
  const std::lock_guard lock(mutex_);
  const int columns = columns_().value_or(80);
  if (dirty_ || columns != drawnColumns_) draw();
}

void TerminalBenchView::draw() {
  const int columns = columns_().value_or(80);
  std::string frame;
  if (drawnRows_ > 0) frame += "\x1b[" + std::to_string(drawnRows_) + "A";
  // Rows that do not fit are summed up in one line. Pads that did not update stay in sight ahead
  // of those that did: the updated go first, oldest first, then the oldest of the others.
  const std::size_t room = static_cast<std::size_t>(std::max(lines_().value_or(1000) - 2, 2));
  const std::size_t hidden = rows_.size() > room ? rows_.size() - room + 1 : 0;
  std::vector<bool> hide(rows_.size(), false);
  std::size_t toHide = hidden;
  for (const bool updatedOnly : {true, false})
    for (std::size_t i = 0; i < rows_.size() && toHide > 0; ++i)
      if (!hide[i] && (!updatedOnly || rows_[i].updated)) {
        hide[i] = true;
        --toHide;
      }
  if (hidden > 0) {
    const std::string summary = "(" + std::to_string(hidden) + " more pads not shown)";
    frame += "\r" + fitted(summary, static_cast<std::size_t>(std::max(columns - 1, 1))) + kClearToLineEnd + "\n";
  }
  // Labels padded to the widest, so that the bars line up.
  std::size_t labelWidth = 0;
  for (const Row& r : rows_) labelWidth = std::max(labelWidth, columnsOf(r.label));
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    Row& r = rows_[i];
    const std::string label = r.label + std::string(labelWidth - columnsOf(r.label), ' ');
    const std::string line = hide[i] ? "" : padLine(label, r.versions, r.percent, r.outcome, columns);
    // A pad that did not update, hidden or cut short, is named in full once the redraw stops.
    r.unseen =
        hide[i] || (!r.outcome.empty() && line.find(r.outcome) == std::string::npos) || line.rfind(r.label, 0) != 0;
    if (!hide[i]) frame += "\r" + line + kClearToLineEnd + "\n";
  }
  // Whatever a terminal that shrank left below the rows goes too.
  out_ << frame << "\x1b[J" << std::flush;
  drawnRows_ = rows_.size() - hidden + (hidden > 0 ? 1 : 0);
  drawnColumns_ = columns;
  dirty_ = false;
}

void TerminalBenchView::note(const std::string& text) {
  const std::lock_guard lock(mutex_);
  // Above the rows: they are drawn again below it.
  if (drawnRows_ > 0) out_ << "\x1b[" << drawnRows_ << "A\r\x1b[J";
  out_ << text << '\n';
  drawnRows_ = 0;
  draw();
}

void TerminalBenchView::tally(const BenchTally& tally, ExitCode) {
  const std::lock_guard lock(mutex_);
  draw();
  // The redraw stops here: every pad that did not update and was not shown whole is named, with
  // its reason, in plain lines that the terminal may wrap.
  std::string missed;
  for (const Row& r : rows_)
    if (r.unseen && !r.outcome.empty() && !r.updated) missed += "  " + r.label + ": " + r.outcome + '\n';
  if (!missed.empty()) out_ << "Not updated:\n" << missed;
  out_ << tallyText(tally) << '\n' << std::flush;
}

// ---------------------------------------------------------------- one line per event

void LineBenchView::line(const std::string& text) { out_ << text << '\n' << std::flush; }

void LineBenchView::padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t imageVersion) {
  const std::lock_guard lock(mutex_);
  line(padLabel(pad) + ": found in boot mode, firmware " + versionsText(version, imageVersion));
}

void LineBenchView::padProgress(const PadEntry& pad, std::int32_t percent) {
  const std::lock_guard lock(mutex_);
  const std::int32_t tenth = std::clamp(percent, 0, 100) / 10;
  const auto [at, added] = shownTenths_.try_emplace(pad.path, tenth);
  if (!added && at->second == tenth) return;
  at->second = tenth;
  line(padLabel(pad) + ": " + std::to_string(tenth * 10) + "%");
}

void LineBenchView::padFinished(const PadResult& result) {
  const std::lock_guard lock(mutex_);
  std::string text = padLabel(result.pad) + ": " + outcomeText(result);
  if (result.outcome == PadOutcome::Updated) {
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(result.duration.count()) / 1000);
    text += ", " + versionsText(result.versionBefore, result.imageVersion) + " in " + seconds + " s";
  }
  line(text);
}

void LineBenchView::note(const std::string& text) {
  const std::lock_guard lock(mutex_);
  line(text);
}

void LineBenchView::tally(const BenchTally& tally, ExitCode) {
  const std::lock_guard lock(mutex_);
  line(tallyText(tally));
}

// ---------------------------------------------------------------- JSON

void JsonBenchView::write(const std::string& line) { out_ << line << std::flush; }

void JsonBenchView::padFound(const PadEntry& pad, std::optional<std::uint32_t> version, std::uint32_t) {
  const std::lock_guard lock(mutex_);
  write(JsonLine("pad")
            .add("path", pad.path)
            .add("serial", pad.serial.empty() ? std::nullopt : std::optional(pad.serial))
            .add("mode", "boot")
            .add("version", version ? std::optional(padVersionText(*version)) : std::nullopt)
            .add("factory", version == kFactoryVersion)
            .line());
}

void JsonBenchView::padProgress(const PadEntry& pad, std::int32_t percent) {
  const std::lock_guard lock(mutex_);
  const auto [at, added] = shown_.try_emplace(pad.path, percent);
  if (!added && at->second == percent) return;
  at->second = percent;
  write(JsonLine("progress")
            .add("path", pad.path)
            .add("percent", static_cast<std::uint64_t>(std::clamp(percent, 0, 100)))
            .line());
}

void JsonBenchView::padFinished(const PadResult& result) {
  const std::lock_guard lock(mutex_);
  JsonLine line("outcome");
  addOutcomeFields(line, result);
  addProvenanceFields(line, feed_);
  write(line.line());
}

void JsonBenchView::note(const std::string& text) {
  const std::lock_guard lock(mutex_);
  write(JsonLine("note").add("text", text).line());
}

void JsonBenchView::tally(const BenchTally& tally, ExitCode code) {
  const std::lock_guard lock(mutex_);
  write(JsonLine("tally")
            .add("updated", std::uint64_t{tally.updated})
            .add("failed", std::uint64_t{tally.failed})
            .add("skipped", std::uint64_t{tally.skipped})
            .add("interrupted", std::uint64_t{tally.interrupted})
            .add("exit_code", static_cast<std::uint64_t>(toInt(code)))
            .add("exit_meaning", exitMeaning(code))
            .line());
}

}  // namespace morvik::cli
