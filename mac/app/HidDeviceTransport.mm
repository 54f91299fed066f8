#include "HidDeviceTransport.h"

HidDeviceTransport::HidDeviceTransport(IOHIDDeviceRef device) : device_(device) { CFRetain(device_); }

HidDeviceTransport::~HidDeviceTransport() { CFRelease(device_); }

morvik::LinkStatus HidDeviceTransport::writeReport(morvik::OutputReport report) {
  // Output report, report ID 0, always the whole 64 bytes; 0 means sent.
  const IOReturn result = IOHIDDeviceSetReport(device_, kIOHIDReportTypeOutput, 0, report.data(),
                                               static_cast<CFIndex>(report.size()));
  return static_cast<morvik::LinkStatus>(result);
}
