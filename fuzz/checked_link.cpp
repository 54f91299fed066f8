#include "checked_link.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "morvik/protocol.h"

namespace morvik::fuzz {

void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

std::uint8_t FuzzInput::takeByte() {
  const std::uint8_t b = data_.front();
  data_ = data_.subspan(1);
  return b;
}

std::span<const std::uint8_t> FuzzInput::take(std::size_t count) {
  const auto taken = data_.first(std::min(count, data_.size()));
  data_ = data_.subspan(taken.size());
  return taken;
}

LinkStatus CheckedLink::writeReport(OutputReport report) {
  const std::size_t count = report[0];
  require(count >= 5 && count <= kMaxPieceBytes, "an output report counts 5 to 39 frame bytes");
  const auto frame = report.subspan(1, count);
  require(frame[0] == 0x00, "every frame leads with 0x00");
  if (failWrites) return kLinkWriteFailed;

  switch (frame[1]) {
    case kMsgUpdate: checkUpdateFrame(frame); break;
    case kDrvBeginUpdate:
    case kDrvReadIdle:
      require(count == 5 && frame[2] == 0x01 && frame[3] == 0x00 && frame[4] == 0x00,
              "a driver command is 00 code 01 00 00");
      break;
    default: require(false, "only update frames and driver commands go out");
  }
  return kLinkOk;
}

void CheckedLink::checkUpdateFrame(std::span<const std::uint8_t> frame) {
  const std::size_t length = frame[2] | static_cast<std::size_t>(frame[3]) << 8;
  require(frame.size() == 4 + length, "an update frame's length field counts its body");
  const std::uint8_t command = frame[4];
  const std::size_t payloadLength = length == 1 ? 0 : (frame[5] | static_cast<std::size_t>(frame[6]) << 8);
  require(length == 1 || length == payloadLength + 3, "a payload's length matches the frame's");
  const auto payload = frame.subspan(length == 1 ? 5 : 7);

  switch (command) {
    case kCmdHeader: {
      require(payloadLength == kHeaderSize, "the header command carries 28 bytes");
      const auto sent = FirmwareHeader::decode(payload.first<kHeaderSize>());
      require(sent.version == image_.header.version && sent.opaqueWord == image_.header.opaqueWord &&
                  sent.imageLength == image_.header.imageLength,
              "the header command carries the image's own words");
      dataBytes_ = 0;
      finishSent_ = false;
      break;
    }
    case kCmdData:
      require(payloadLength <= kBlockSize, "a block is at most 32 bytes");
      require(dataBytes_ + payloadLength <= image_.payload.size(), "no block goes beyond the file");
      require(
          std::equal(payload.begin(), payload.end(), image_.payload.begin() + static_cast<std::ptrdiff_t>(dataBytes_)),
          "every block is the image's next bytes");
      dataBytes_ += payloadLength;
      break;
    case kCmdFinish:
      require(length == 1, "the finish command has no payload");
      require(dataBytes_ >= image_.header.imageLength, "the finish command follows the whole image");
      finishSent_ = true;
      break;
    case kCmdVersionQuery: require(length == 1, "the version query has no payload"); break;
    default: require(false, "only the four update commands go out");
  }
}

ReadStatus CheckedLink::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  for (;;) {
    if (beforeRead) beforeRead();
    if (input_.empty()) return ReadStatus::Failed;  // the pad is gone once the input runs out
    const std::uint8_t record = input_.takeByte();
    switch (record) {
      case kToggleWriteFailures: failWrites = !failWrites; continue;
      case kNoReport: return ReadStatus::NoReport;
      case kReadFails: return ReadStatus::Failed;
      default: break;
    }
    const auto bytes = input_.take(record % (kReportSize + 1));
    // Bytes beyond what arrived are junk the engine must not act on.
    std::fill(report.begin(), report.end(), std::uint8_t{0xCC});
    std::copy(bytes.begin(), bytes.end(), report.begin());
    length = bytes.size();
    return ReadStatus::Report;
  }
}

}  // namespace morvik::fuzz
