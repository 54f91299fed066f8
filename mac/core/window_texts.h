// Everything the updater window says, and how versions are written in it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvik::mac {

inline constexpr std::string_view kConfirmTitle = "Note";
inline constexpr std::string_view kConfirmOk = "OK";
inline constexpr std::string_view kConfirmCancel = "Cancel";
inline constexpr std::string_view kFileVersionLabel = "The File Firmware Version: ";
inline constexpr std::string_view kFactoryVersionText = "Factory Version";
inline constexpr std::string_view kFactoryVersionAlert =
    "The firmware is factory Version, please update to lastest version!";
inline constexpr std::string_view kNotInBootModeAlert =
    "Firmware update failure, please poweroff gamepad and make it work in BOOT mode";
inline constexpr std::string_view kFailureAlert = "Firmware update failure!";
// The pad was refused to the app by macOS's privacy control (Input Monitoring): a short message,
// and what to do beneath it.
inline constexpr std::string_view kInputMonitoringAlert = "macOS does not let this app use the pad.";
inline constexpr std::string_view kInputMonitoringHelp =
    "Input Monitoring is not allowed for it. Allow it under System Settings \xE2\x80\xBA Privacy & Security "
    "\xE2\x80\xBA Input Monitoring, then quit and reopen the app (if it is already on, remove it and add it again).";
// Beneath the confirmation's version line, for a file that goes on past its header's length.
inline constexpr std::string_view kLongerThanHeaderNote =
    "Warning: the file is longer than its header says; a firmware file ends where its header says. Check that it "
    "is the right file.";
inline constexpr std::string_view kSuccessAlert = "Firmware upgraded successful!";
inline constexpr std::string_view kHelpTitle = "Update firmware from Mac";
inline constexpr std::string_view kHelpButton = "OK";
inline constexpr std::string_view kImageFileType = "dat";

// How to put each pad model into boot mode (the help alert's informative text).
std::string_view helpText();

// The version field: "v1.23" for 123 (divided in single precision, as the window always has).
std::string versionFieldText(std::uint32_t version);

// The confirmation sheet's informative text: the label ends in a space, so two spaces
// stand before the "v".
std::string confirmationText(std::uint32_t imageVersion);

// The folder that holds the application bundle, with its trailing "/": where the file
// chooser starts. A path without "/" gives "".
std::string folderOfBundle(std::string_view bundlePath);

}  // namespace morvik::mac
