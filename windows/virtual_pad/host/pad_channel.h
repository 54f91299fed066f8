// The pad program's end of the channel to the virtual pad's driver (see channel.h).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "channel.h"

namespace morvik::vpad {

using RawReport = std::array<std::uint8_t, VPAD_REPORT_BYTES>;

class PadChannel {
 public:
  PadChannel() = default;
  PadChannel(const PadChannel&) = delete;
  PadChannel& operator=(const PadChannel&) = delete;
  ~PadChannel();

  // Opens the control device and answers for the pad from now on; the pad declares these
  // report lengths from the next time it is plugged in. Empty on success.
  std::string attach(const VpadAttach& lengths);
  // Waits for the next report the host writes, and what became of it. False when `stop` was
  // signalled or the channel failed.
  bool takeOutput(VpadOutput& output, HANDLE stop);
  // False when the report did not reach the host's queue (a full queue is counted in drops()).
  bool putInput(const RawReport& report);
  // Writes from now on stay pending for `holdMs`, then fail.
  bool holdWrites(std::uint32_t holdMs);
  // What the driver lost to full queues since it started; nullopt when it cannot be asked.
  std::optional<VpadDrops> drops();

 private:
  bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, HANDLE stop);

  HANDLE m_device = INVALID_HANDLE_VALUE;
};

}  // namespace morvik::vpad
