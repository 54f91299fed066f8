// How an emulated pad looks in sysfs: the USB device, its interface, the HID device and its
// hidraw node, as the kernel lays them out and as hidapi and libudev read them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvik::e2e {

struct PadSysfs {
  std::string description;            // the devices, in umockdev's text format
  std::vector<std::string> devpaths;  // the same devices from the node up, the order they leave in
  std::string devnode;                // /dev/hidrawN
};

// Pad number `index` (its hidraw number too; never reused within one testbed).
PadSysfs padSysfs(unsigned index, std::uint16_t productId, const std::string& serial);

// What HIDIOCGRDESC answers and sysfs' report_descriptor holds: 64-byte vendor reports both ways.
const std::vector<std::uint8_t>& padReportDescriptor();

}  // namespace morvik::e2e
