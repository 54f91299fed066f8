#include "HidDeviceTransport.h"

#include <cstdio>

HidDeviceTransport::HidDeviceTransport(IOHIDDeviceRef device) : device_(device) { CFRetain(device_); }

HidDeviceTransport::~HidDeviceTransport() { CFRelease(device_); }

morvik::LinkStatus HidDeviceTransport::writeReport(morvik::OutputReport report) {
  // Output report, report ID 0, always the whole 64 bytes; 0 means sent.
  const IOReturn result = IOHIDDeviceSetReport(device_, kIOHIDReportTypeOutput, 0, report.data(),
                                               static_cast<CFIndex>(report.size()));
  if (result != kIOReturnSuccess) {
    char text[32];
    std::snprintf(text, sizeof text, "IOReturn 0x%08X", static_cast<unsigned>(result));
    lastError_ = text;
  }
  return static_cast<morvik::LinkStatus>(result);
}
