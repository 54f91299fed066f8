// Wire constants of the pad's boot-mode update protocol.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvik {

// Link kind named by every send. The pad is only reached over USB HID.
using PacketType = std::uint8_t;
inline constexpr PacketType kPacketTypeUsbHid = 0x97;

// Result of a send, in the pad-link's own terms: 0 means the report(s) went out.
using LinkStatus = std::uint32_t;
inline constexpr LinkStatus kLinkOk = 0;
inline constexpr LinkStatus kLinkRefused = 0xE00002BC;      // wrong link kind: nothing sent
inline constexpr LinkStatus kLinkWriteFailed = 0xE00002C0;  // the platform write failed

// HID reports: 64 bytes, report ID 0; byte 0 counts the frame bytes that follow.
inline constexpr std::size_t kReportSize = 64;
inline constexpr std::size_t kMaxMessageBytes = kReportSize - 1;
// A data frame is cut into pieces of at most this many bytes, one per report.
inline constexpr std::size_t kMaxPieceBytes = 39;
inline constexpr std::size_t kFrameBufferSize = 1024;
inline constexpr std::size_t kBlockSize = 32;

// Frame types (byte 1 of every frame).
inline constexpr std::uint8_t kMsgUpdate = 0x16;
inline constexpr std::uint8_t kMsgDeviceInfo = 0x19;

// Update commands sent by the updater.
inline constexpr std::uint8_t kCmdData = 0;
inline constexpr std::uint8_t kCmdHeader = 1;
inline constexpr std::uint8_t kCmdFinish = 2;
inline constexpr std::uint8_t kCmdVersionQuery = 4;

// Update events sent by the pad.
inline constexpr std::uint8_t kEvtVersion = 4;
inline constexpr std::uint8_t kEvtAck = 0x14;
inline constexpr std::uint8_t kEvtError21 = 0x15;
inline constexpr std::uint8_t kEvtError24 = 0x18;

// Driver commands: a 5-byte frame whose type byte is the command code.
inline constexpr std::uint8_t kDrvBeginUpdate = 0x1A;
inline constexpr std::uint8_t kDrvReadIdle = 0x1D;

// Offsets inside a received message (the frame after the report's count byte).
inline constexpr std::size_t kFrameHeadSize = 4;    // lead, type, 16-bit length
inline constexpr std::size_t kEventCodeOffset = 4;  // first body byte of a MsgUpdate
inline constexpr std::size_t kEventDataOffset = 7;  // after event code and data length
inline constexpr std::size_t kBootFlagOffset = 40;  // body offset 36 of a MsgDeviceInfo

// Firmware versions are version x 100; the pad reports this for its factory firmware.
inline constexpr std::uint32_t kFactoryVersion = 0xFFFFFFFF;
// Marker for "the pad has not reported its version yet" in the polling front-ends.
inline constexpr std::uint32_t kVersionUnknown = 0x5A5A5A5A;

}  // namespace morvik
