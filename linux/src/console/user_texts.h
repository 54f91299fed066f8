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

// What a failed update left on the pad, by whether its header had gone out.
inline constexpr const char* kRestoreFirmwareText =
    "The pad stays in boot mode; run the update again to restore its firmware.\n";
inline constexpr const char* kFirmwareUnchangedText = "Nothing was written to the pad; its firmware is unchanged.\n";

// A file that goes on past the firmware its header describes.
inline constexpr const char* kLongerThanItsHeaderText =
    "Warning: the file is longer than its header says; a firmware image ends where its header says.\n"
    "Check that it is the image you meant: only what the header describes is sent.\n";

// Device information that no begin command of this program asked for.
inline constexpr const char* kOtherProgramText =
    "Another program seems to be using the pad (it began an update of its own): close it. This update "
    "ignores it and goes on.";

// "0483:5750": a USB identity as lsusb writes it.
std::string usbIdText(const UsbIdentity& identity);

// "No pad in boot mode found (USB 0483:5750).", from the boot-mode identity, with its newline.
std::string noBootPadText();

}  // namespace morvik::cli
