// Which pads the HID manager looks for, and what each arrival and removal means.
//
// Only one boot-mode pad is served at a time. A pad coming back in run mode right after a
// successful update is expected and passes quietly; any other run-mode pad, while no boot-mode
// pad is connected, means the user still has to switch the pad into boot mode.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "morvik/device_identities.h"

namespace morvik::mac {

// The identities handed to the HID manager, in matching order: boot mode first, then the
// run-mode identity of every pad model.
inline constexpr std::size_t kMatchedIdentityCount = 1 + kRunModeIdentities.size();
std::array<UsbIdentity, kMatchedIdentityCount> matchedIdentities();

enum class ArrivalAction {
  AcceptBootPad,  // open it, listen to its reports, enable the button, ask its version
  IgnoreBootPad,  // another boot-mode pad is already served
  AbsorbRestart,  // the freshly updated pad restarting in run mode
  ShowHelp,       // a run-mode pad and nothing being served: explain boot mode
  Ignore,         // a run-mode pad while a boot-mode pad is connected
};

enum class RemovalAction {
  ForgetBootPad,  // clear the version field, disable the button
  Ignore,
};

class PadTracker {
 public:
  // `takeRestartedPad` counts off one updated pad whose return in run mode was due, or says
  // that none was (UpdateEngine::takeRestartedPad).
  explicit PadTracker(std::function<bool()> takeRestartedPad) : takeRestartedPad_(std::move(takeRestartedPad)) {}

  // Ids are as read from the device; only their low 16 bits count.
  ArrivalAction arrived(std::uint32_t vendorId, std::uint32_t productId);
  RemovalAction removed(std::uint32_t vendorId, std::uint32_t productId);

  std::int32_t deviceConnected() const { return deviceConnected_; }

 private:
  std::int32_t deviceConnected_ = 0;
  std::function<bool()> takeRestartedPad_;
};

}  // namespace morvik::mac
