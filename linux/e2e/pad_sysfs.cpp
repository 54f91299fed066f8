#include "pad_sysfs.h"

#include <cstdio>

namespace morvik::e2e {

// Vendor page FF00, usage 1: one application collection with 64 8-bit values in and 64 out, no
// report IDs, as the pad's boot firmware describes its reports (sysfs shows it in hex).
constexpr const char* kDescriptorHex = "0600FF0901A101150026FF007508954009018102954009019102C0";

const std::vector<std::uint8_t>& padReportDescriptor() {
  static const std::vector<std::uint8_t> descriptor = [] {
    std::vector<std::uint8_t> bytes;
    for (const char* hex = kDescriptorHex; hex[0] && hex[1]; hex += 2)
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex, 2), nullptr, 16)));
    return bytes;
  }();
  return descriptor;
}

PadSysfs padSysfs(unsigned index, std::uint16_t productId, const std::string& serial) {
  char ids[64];
  std::snprintf(ids, sizeof ids, "0003:0483:%04X.%04X", productId, index + 1);
  const std::string hidName = ids;
  std::snprintf(ids, sizeof ids, "%04x", productId);
  const std::string product = ids;
  const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(index + 1);
  const std::string interface = usb + "/1-" + std::to_string(index + 1) + ":1.0";
  const std::string hid = interface + "/" + hidName;
  const std::string number = std::to_string(index);
  const std::string hidraw = hid + "/hidraw/hidraw" + number;

  PadSysfs pad;
  pad.description =
      "P: " + usb + "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=0483\nA: idProduct=" + product +
      "\nA: bcdDevice=0100\nA: manufacturer=Morvik\nA: product=GamePad\nA: serial=" + serial + "\n\nP: " + interface +
      "\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\nA: bInterfaceNumber=00\n\nP: " + hid +
      "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00000483:0000" + product +
      "\nE: HID_NAME=Morvik GamePad\nE: HID_UNIQ=" + serial + "\nH: report_descriptor=" + kDescriptorHex +
      "\n\nP: " + hidraw + "\nN: hidraw" + number + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw" + number +
      "\nE: MAJOR=240\nE: MINOR=" + number + "\nA: dev=240:" + number + "\nL: device=../../../" + hidName + "\n";
  pad.devpaths = {"/sys" + hidraw, "/sys" + hid, "/sys" + interface, "/sys" + usb};
  pad.devnode = "/dev/hidraw" + number;
  return pad;
}

}  // namespace morvik::e2e
