#include "pad_tracker.h"

namespace morvik::mac {

std::array<UsbIdentity, kMatchedIdentityCount> matchedIdentities() {
  std::array<UsbIdentity, kMatchedIdentityCount> all{kBootModeIdentity};
  for (std::size_t i = 0; i < kRunModeIdentities.size(); ++i) all[i + 1] = kRunModeIdentities[i];
  return all;
}

ArrivalAction PadTracker::arrived(std::uint32_t vendorId, std::uint32_t productId) {
  if (isBootMode(vendorId, productId)) {
    if (deviceConnected_ > 0) return ArrivalAction::IgnoreBootPad;
    ++deviceConnected_;
    return ArrivalAction::AcceptBootPad;
  }
  // Anything else the manager reports is a pad in run mode (an unreadable id reads as 0).
  if (takeRestartedPad_()) return ArrivalAction::AbsorbRestart;
  return deviceConnected_ == 0 ? ArrivalAction::ShowHelp : ArrivalAction::Ignore;
}

RemovalAction PadTracker::removed(std::uint32_t vendorId, std::uint32_t productId) {
  if (!isBootMode(vendorId, productId)) return RemovalAction::Ignore;
  if (deviceConnected_ > 0) --deviceConnected_;
  return RemovalAction::ForgetBootPad;
}

}  // namespace morvik::mac
