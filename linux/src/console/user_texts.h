// The sentences that several parts of morvik-update say to the user, each written once here.
#pragma once

#include <string>

#include "morvik/device_identities.h"

namespace morvik::cli {

// How to put each pad model into boot mode.
inline constexpr const char* kBootModeHowTo =
    "Switch the pad off, then hold START+L+R (Zelto, Pravik) or POWER+RETURN (Zelto Pro, Pravik Pro)\n"
    "for about 3 seconds until two LEDs flash, and connect it by USB cable.";

// An update that ended before the pad's firmware was touched.
inline constexpr const char* kNothingChangedText = "Update cancelled; the pad's firmware was not changed.\n";

// "0483:5750": a USB identity as lsusb writes it.
std::string usbIdText(const UsbIdentity& identity);

// "No pad in boot mode found (USB 0483:5750).", from the boot-mode identity, with its newline.
std::string noBootPadText();

}  // namespace morvik::cli
