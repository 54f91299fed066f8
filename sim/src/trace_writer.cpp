#include "morvik/trace_writer.h"

#include "morvik/json_line.h"
#include "morvik/report_trace.h"
#include "morvik/trace_file.h"
#include "morvik/version_text.h"

namespace morvik {
namespace {

// The JSON line without its newline, after the line's first words.
std::string jsonAfter(std::string_view words, const JsonLine& json) {
  std::string line = std::string(words) + json.line();
  line.pop_back();
  return line;
}

std::string timePrefix(std::chrono::microseconds at) { return "t=" + std::to_string(at.count()) + ' '; }

}  // namespace

std::string traceFirstLine(const TraceStart& start) {
  JsonLine json("trace");
  json.add("program", start.program).add("program_version", start.programVersion).add("time", start.time);
  if (const auto& image = start.image)
    json.add("image", image->name)
        .add("image_size", image->size)
        .add("image_version", versionText(image->version))
        .add("image_sha256", image->sha256);
  if (const auto& pad = start.pad)
    json.add("pad_usb", pad->usb)
        .add("pad_path", pad->path)
        .add("pad_serial", pad->serial)
        .add("pad_version", pad->version ? std::optional(padVersionText(*pad->version)) : std::nullopt);
  for (const auto& [key, value] : start.more) json.add(key, value);
  return jsonAfter(kTraceFirstWords, json);
}

std::string traceReportLine(std::chrono::microseconds at, std::string_view direction,
                            std::span<const std::uint8_t> report) {
  return timePrefix(at) + traceLine(direction, report);
}

std::string traceFailureLine(std::chrono::microseconds at, std::string_view failure) {
  return timePrefix(at) + std::string(failure);
}

std::string traceOutcomeLine(const std::string& time, std::optional<ExitCode> code, const std::string& reason) {
  JsonLine json("outcome");
  json.add("time", time);
  if (code) json.add("exit_code", static_cast<std::uint64_t>(toInt(*code))).add("exit_meaning", exitMeaning(*code));
  json.add("reason", reason);
  return jsonAfter(kTraceOutcomeWords, json);
}

}  // namespace morvik
