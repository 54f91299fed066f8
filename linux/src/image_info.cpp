#include "image_info.h"

#include <array>
#include <fstream>
#include <sstream>

#include "version_text.h"

namespace morvik::cli {

std::uint64_t ImageReport::surplusBytes() const {
  if (!header || payloadBytes <= header->imageLength) return 0;
  return payloadBytes - header->imageLength;
}

ImageReport inspectImage(const std::string& path) {
  ImageReport report;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    report.fault = ImageFault::CannotOpen;
    return report;
  }
  std::array<char, kHeaderSize> bytes{};
  file.read(bytes.data(), bytes.size());
  if (file.bad()) {
    report.fault = ImageFault::CannotOpen;  // a directory, or a read error
    return report;
  }
  if (file.gcount() != static_cast<std::streamsize>(kHeaderSize)) {
    report.fault = ImageFault::HeaderTooShort;
    return report;
  }
  std::array<std::uint8_t, kHeaderSize> header{};
  for (std::size_t i = 0; i < kHeaderSize; ++i) header[i] = static_cast<std::uint8_t>(bytes[i]);
  report.header = FirmwareHeader::decode(header);

  // Counted by reading rather than by the file's size, so pipes and odd files count right.
  std::array<char, 4096> chunk{};
  while (file.read(chunk.data(), chunk.size()) || file.gcount() > 0)
    report.payloadBytes += static_cast<std::uint64_t>(file.gcount());
  if (file.bad()) {
    report.fault = ImageFault::CannotOpen;
  } else if (report.header->imageLength == 0) {
    report.fault = ImageFault::NoPayload;
  } else if (report.payloadBytes < report.header->imageLength) {
    report.fault = ImageFault::PayloadTooShort;
  }
  return report;
}

std::string faultText(const ImageReport& report) {
  if (!report.fault) return "";
  switch (*report.fault) {
    case ImageFault::CannotOpen: return "the file cannot be read";
    case ImageFault::HeaderTooShort:
      return "the file is too short to be a firmware image (fewer than " + std::to_string(kHeaderSize) + " bytes)";
    case ImageFault::PayloadTooShort:
      return "its header promises " + std::to_string(report.header->imageLength) + " bytes of firmware but it holds only " +
             std::to_string(report.payloadBytes);
    case ImageFault::NoPayload: return "its header gives an image length of 0: it holds no firmware";
  }
  return "";
}

std::string faultText(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::CannotOpen: return "the file cannot be read";
    case ImageProblem::HeaderTooShort: return "the file is too short to be a firmware image";
    case ImageProblem::PayloadTooShort: return "it holds less firmware than its header promises";
  }
  return "";
}

std::string imageInfoText(const std::string& path, const ImageReport& report) {
  std::ostringstream text;
  text << "Image:         " << path << '\n';
  if (!report.header) {
    text << "Problem:       " << faultText(report) << '\n';
    return text.str();
  }
  text << "Version:       " << versionText(report.header->version) << '\n'
       << "Image length:  " << report.header->imageLength << " bytes\n"
       << "Payload size:  " << report.payloadBytes << " bytes\n";
  if (report.fault) {
    text << "Agree:         no: " << faultText(report) << '\n'
         << "This image is refused for an update.\n";
  } else if (report.surplusBytes() > 0) {
    text << "Agree:         no: " << report.surplusBytes()
         << " bytes beyond the image length (the update stops with the block that reaches it)\n";
  } else {
    text << "Agree:         yes\n";
  }
  return text.str();
}

}  // namespace morvik::cli
