#include "morvik/trace_file.h"

#include <charconv>
#include <optional>

#include "morvik/protocol.h"

namespace morvik {
namespace {

// Reads one flat JSON object (string, number, true, false and null values), as the trace's
// writer makes them. Nothing when the text is not one.
class FlatJsonReader {
 public:
  explicit FlatJsonReader(std::string_view text) : text_(text) {}

  std::optional<TraceFields> object() {
    TraceFields fields;
    if (!take('{')) return std::nullopt;
    if (take('}')) return atEnd() ? std::optional(fields) : std::nullopt;
    do {
      auto key = string();
      if (!key || !take(':')) return std::nullopt;
      auto value = text_.starts_with('"') ? string() : bareWord();
      if (!value) return std::nullopt;
      fields[*key] = *value;
    } while (take(','));
    if (!take('}') || !atEnd()) return std::nullopt;
    return fields;
  }

 private:
  bool take(char c) {
    if (!text_.starts_with(c)) return false;
    text_.remove_prefix(1);
    return true;
  }
  bool atEnd() const { return text_.empty(); }

  std::optional<std::string> bareWord() {
    const std::size_t end = text_.find_first_of(",}");
    const std::string_view word = text_.substr(0, end);
    if (word.empty() || word.find_first_not_of("0123456789+-.eEtruefalsn") != std::string_view::npos)
      return std::nullopt;
    text_.remove_prefix(word.size());
    return std::string(word);
  }

  std::optional<std::string> string() {
    if (!take('"')) return std::nullopt;
    std::string value;
    while (!text_.empty()) {
      const char c = text_.front();
      text_.remove_prefix(1);
      if (c == '"') return value;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        value += c;
        continue;
      }
      if (text_.empty()) return std::nullopt;
      const char escaped = text_.front();
      text_.remove_prefix(1);
      if (escaped == 'u') {
        if (!unicodeEscape(value)) return std::nullopt;
        continue;
      }
      static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
      const std::size_t at = kFrom.find(escaped);
      if (at == std::string_view::npos) return std::nullopt;
      value += kTo[at];
    }
    return std::nullopt;
  }

  std::optional<std::uint32_t> hex4() {
    std::uint32_t unit = 0;
    if (text_.size() < 4 || std::from_chars(text_.data(), text_.data() + 4, unit, 16).ptr != text_.data() + 4)
      return std::nullopt;
    text_.remove_prefix(4);
    return unit;
  }

  // \uXXXX, and a surrogate pair's second half, as UTF-8.
  bool unicodeEscape(std::string& value) {
    auto unit = hex4();
    if (!unit) return false;
    std::uint32_t code = *unit;
    if (code >= 0xD800 && code < 0xDC00) {
      if (!take('\\') || !take('u')) return false;
      const auto low = hex4();
      if (!low || *low < 0xDC00 || *low >= 0xE000) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
    } else if (code >= 0xDC00 && code < 0xE000) {
      return false;
    }
    if (code < 0x80) {
      value += static_cast<char>(code);
    } else if (code < 0x800) {
      value += static_cast<char>(0xC0 | code >> 6);
      value += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      value += static_cast<char>(0xE0 | code >> 12);
      value += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      value += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      value += static_cast<char>(0xF0 | code >> 18);
      value += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      value += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      value += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
  }

  std::string_view text_;
};

std::optional<std::vector<std::uint8_t>> hexBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  while (!text.empty()) {
    std::uint8_t byte = 0;
    const bool upperHex = text.size() >= 3 && text[0] == ' ' &&
                          text.substr(1, 2).find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
    if (!upperHex) return std::nullopt;
    std::from_chars(text.data() + 1, text.data() + 3, byte, 16);
    bytes.push_back(byte);
    text.remove_prefix(3);
  }
  return bytes;
}

// "t=<us> out|in <bytes>" or "t=<us> write-failed|read-failed".
std::optional<TraceEvent> eventOf(std::string_view line) {
  if (!line.starts_with("t=")) return std::nullopt;
  std::int64_t at = 0;
  const auto [end, error] = std::from_chars(line.data() + 2, line.data() + line.size(), at);
  if (error != std::errc{} || end == line.data() + 2 || at < 0 || end == line.data() + line.size() || *end != ' ')
    return std::nullopt;
  const std::string_view rest = line.substr(static_cast<std::size_t>(end - line.data()) + 1);
  TraceEvent event;
  event.at = std::chrono::microseconds(at);
  const std::string_view word = rest.substr(0, rest.find(' '));
  if (word == kTraceWriteFailed || word == kTraceReadFailed) {
    if (word.size() != rest.size()) return std::nullopt;
    event.kind = word == kTraceWriteFailed ? TraceEventKind::WriteFailed : TraceEventKind::ReadFailed;
    return event;
  }
  if (word != "out" && word != "in") return std::nullopt;
  event.kind = word == "out" ? TraceEventKind::Out : TraceEventKind::In;
  auto bytes = hexBytes(rest.substr(word.size()));
  if (!bytes || bytes->empty() || bytes->size() > kReportSize) return std::nullopt;
  event.bytes = std::move(*bytes);
  return event;
}

std::optional<TraceFields> jsonAfter(std::string_view line, std::string_view words) {
  if (!line.starts_with(words)) return std::nullopt;
  return FlatJsonReader(line.substr(words.size())).object();
}

std::string quoted(std::string_view line) {
  constexpr std::size_t kShown = 60;
  std::string shown;
  for (const char c : line.substr(0, kShown)) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return "'" + shown + (line.size() > kShown ? "...'" : "'");
}

}  // namespace

bool isIdlePoll(const std::vector<std::uint8_t>& report) {
  return report == std::vector<std::uint8_t>{0x05, 0x00, kDrvReadIdle, 0x01, 0x00, 0x00};
}

std::variant<RecordedTrace, TraceRefusal> readTrace(std::string_view text) {
  RecordedTrace trace;
  std::size_t number = 0;
  bool ended = false;
  while (!text.empty()) {
    ++number;
    const std::size_t newline = text.find('\n');
    if (newline == std::string_view::npos) return TraceRefusal{number, "the line is cut short (it has no end)"};
    // A trace passed through an editor or a mail on Windows has CR LF line ends.
    const std::string_view line = text.substr(0, newline > 0 && text[newline - 1] == '\r' ? newline - 1 : newline);
    text.remove_prefix(newline + 1);
    if (ended) return TraceRefusal{number, "a line after the outcome line: " + quoted(line)};
    if (number == 1) {
      auto start = jsonAfter(line, kTraceFirstWords);
      if (!start && line.starts_with(kTraceFirstWords))
        return TraceRefusal{1, "the first line's fields are not one JSON object"};
      if (!start) return TraceRefusal{1, "not a morvik trace (its first line must begin '# morvik-trace 1 {')"};
      trace.start = std::move(*start);
    } else if (line.starts_with(kTraceOutcomeWords)) {
      auto outcome = jsonAfter(line, kTraceOutcomeWords);
      if (!outcome) return TraceRefusal{number, "the outcome line is not one JSON object: " + quoted(line)};
      trace.outcome = std::move(*outcome);
      ended = true;
    } else {
      auto event = eventOf(line);
      if (!event) return TraceRefusal{number, "not a line of a trace: " + quoted(line)};
      if (!trace.events.empty() && event->at < trace.events.back().at)
        return TraceRefusal{number, "its time is earlier than the line before's"};
      event->line = number;
      trace.events.push_back(std::move(*event));
    }
  }
  if (number == 0) return TraceRefusal{1, "the trace is empty"};
  if (!ended) return TraceRefusal{number, "the trace ends here, without its outcome line (cut short?)"};
  return trace;
}

}  // namespace morvik
