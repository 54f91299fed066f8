// The virtual pad's device node in the Wine prefix: installing the driver, and plugging the
// pad in and pulling it out. Wine drops or adds a root device when its driver's service is
// told to re-enumerate the root devices (service control 128); what it finds depends on the
// device's Service value.
#pragma once

#include <string>

namespace morvik::vpad {

// Installs the driver from the .inf (the .sys beside it) and creates the pad's device node,
// unless it is there already. Empty on success, else what failed.
std::string installPad(const std::wstring& infPath);
// Starts the driver's service if it is not running. Empty on success.
std::string startDriver();
// The pad arrives (once its HID interface is there, so that a program started next finds it) /
// goes away. Empty on success.
std::string plugPad();
std::string unplugPad();
// The HID interface path of the pad (0483:5750), or empty while there is none.
std::string padInterfacePath();

}  // namespace morvik::vpad
