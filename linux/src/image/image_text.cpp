#include "image/image_text.h"

#include <cstring>
#include <sstream>

#include "morvik/json_line.h"
#include "console/printable_text.h"
#include "morvik/version_text.h"

namespace morvik::cli {
namespace {

std::string limitText() { return std::to_string(kMaxImagePayloadBytes) + " bytes (16 MiB)"; }

std::string fileFaultText(FileFault fault, const ImageReport& report) {
  switch (fault) {
    case FileFault::SystemError:
      return std::string("the file cannot be read (") + std::strerror(report.systemError) + ")";
    case FileFault::NoSuchFile: return "no such file";
    case FileFault::IsDirectory: return "it is a directory, not a firmware image";
    case FileFault::PermissionDenied: return "permission denied (this user may not read it)";
    case FileFault::NotRegularFile: return std::string("it is ") + report.fileKind + ", not a regular file";
    case FileFault::EmptyPipe: return "the pipe ended before it gave any data";
    case FileFault::PipeStalled:
      return "the pipe gave no data for " + std::to_string(kPipeIdleLimit.count() / 1000) + " s";
    case FileFault::Cancelled: return "cancelled while reading it";
  }
  return "";
}

// The engine's name of the problem, with what the report knows of the numbers behind it.
std::string problemText(ImageProblem problem, const ImageReport& report) {
  const std::string name(problemName(problem));
  switch (problem) {
    case ImageProblem::CannotOpen:
    case ImageProblem::NotAnImage: return name;
    case ImageProblem::HeaderTooShort: return name + " (fewer than " + std::to_string(kHeaderSize) + " bytes)";
    case ImageProblem::PayloadTooShort:
      if (!report.header) return name;
      return "its header promises " + std::to_string(report.header->imageLength) +
             " bytes of firmware but it holds only " + std::to_string(report.payloadBytes);
    case ImageProblem::NoPayload: return "its header gives an image length of 0: " + name;
    case ImageProblem::TooLarge:
      if (report.header && report.header->imageLength > kMaxImagePayloadBytes)
        return "its header gives an image length of " + std::to_string(report.header->imageLength) +
               " bytes; no pad takes more than " + limitText();
      return "it is too large: no pad takes more than " + limitText() + " of firmware";
  }
  return name;
}

}  // namespace

std::string faultText(const ImageReport& report) {
  if (!report.fault) return "";
  if (const auto* fault = std::get_if<FileFault>(&*report.fault)) return fileFaultText(*fault, report);
  return problemText(std::get<ImageProblem>(*report.fault), report);
}

std::string cannotUseImageText(const std::string& path, std::string_view why) {
  return "Cannot use the image " + printable(path) + ": " + std::string(why) + ".\n";
}

std::string imageInfoText(const std::string& path, const ImageReport& report) {
  std::ostringstream text;
  text << "Image:         " << printable(path) << '\n';
  if (!report.header) {
    text << "Problem:       " << faultText(report) << '\n';
    return text.str();
  }
  text << "Version:       " << versionText(report.header->version) << '\n'
       << "Image length:  " << report.header->imageLength << " bytes\n"
       << "Payload size:  " << report.payloadBytes << " bytes\n";
  if (report.fault) {
    text << "Agree:         no: " << faultText(report) << '\n' << "This image is refused for an update.\n";
  } else if (report.surplusBytes() > 0) {
    text << "Agree:         no: " << report.surplusBytes()
         << " bytes beyond the image length (the update stops with the block that reaches it)\n";
  } else {
    text << "Agree:         yes\n";
  }
  return text.str();
}

JsonLine imageInfoFields(const std::string& path, const ImageReport& report) {
  JsonLine line("image");
  line.add("path", path);
  if (report.header)
    line.add("version", versionText(report.header->version))
        .add("image_length", std::uint64_t{report.header->imageLength});
  else  // a header that could not be read: its fields are there, as null
    line.add("version", std::optional<std::string>()).add("image_length", std::optional<std::string>());
  line.add("payload_bytes", report.payloadBytes).add("fit", !report.fault);
  line.add("problem", report.fault ? std::optional(faultText(report)) : std::nullopt);
  return line;
}

ExitCode showImageInfo(const std::string& path, bool json, StopToken stop, std::ostream& out, std::ostream& err,
                       const InfoLookup& lookup) {
  const ImageReport report = inspectImage(path, std::move(stop));
  if (report.cancelled()) {
    err << "Cancelled.\n";
    return ExitCode::Cancelled;
  }
  // A refused image is not looked up: it cannot be sent, whoever published it.
  const InfoAddition addition = lookup && !report.fault ? lookup(*report.image) : InfoAddition{};
  if (json) {
    JsonLine line = imageInfoFields(path, report);
    if (addition.addFields) addition.addFields(line);
    out << line.line();
  } else {
    out << imageInfoText(path, report) << addition.text;
  }
  return report.fault ? ExitCode::ImageRefused : addition.code;
}

std::optional<ExitCode> refuseUnfitImage(const std::string& path, const ImageReport& report, std::ostream& out,
                                         std::ostream& err) {
  if (report.cancelled()) {
    err << "Cancelled; nothing was sent to the pad.\n";
    return ExitCode::Cancelled;
  }
  if (report.fault) {
    err << cannotUseImageText(path, faultText(report));
    return ExitCode::ImageRefused;
  }
  if (report.surplusBytes() > 0)
    out << "Note: the image holds " << report.surplusBytes()
        << " bytes beyond its stated length; the update stops with the block that reaches that length.\n";
  return std::nullopt;
}

}  // namespace morvik::cli
