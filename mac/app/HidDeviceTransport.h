// The engine's link to one opened pad: output reports leave through the HID device's
// set-report call. The device stays retained as long as the link exists, so a late send to a
// pad that has gone fails instead of touching a freed device.
#pragma once

#include <IOKit/hid/IOHIDLib.h>

#include <string>

#include "morvik/hid_transport.h"

class HidDeviceTransport final : public morvik::HidTransport {
 public:
  explicit HidDeviceTransport(IOHIDDeviceRef device);
  ~HidDeviceTransport() override;
  HidDeviceTransport(const HidDeviceTransport&) = delete;
  HidDeviceTransport& operator=(const HidDeviceTransport&) = delete;

  morvik::LinkStatus writeReport(morvik::OutputReport report) override;
  // The IOKit result of the last failed set-report call ("IOReturn 0xE00002D8").
  std::string lastError() const override { return lastError_; }
  IOHIDDeviceRef device() const { return device_; }

 private:
  IOHIDDeviceRef device_;
  std::string lastError_;
};
