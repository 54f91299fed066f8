// The pad over USB through hidapi's hidraw backend.
#pragma once

#include <string>
#include <vector>

#include "morvik/hid_transport.h"
#include "pads/pad_discovery.h"
#include "pads/pad_source.h"

struct hid_device_;

namespace morvik::cli {

class HidapiPad final : public PollingHidTransport {
 public:
  explicit HidapiPad(std::string path) : path_(std::move(path)) {}
  ~HidapiPad() override;
  HidapiPad(const HidapiPad&) = delete;
  HidapiPad& operator=(const HidapiPad&) = delete;

  bool OpenReadWrite() override;
  LinkStatus writeReport(OutputReport report) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { readTimeoutMs_ = milliseconds; }
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;

  // hidapi's text for the last failure of this pad (or of opening it).
  std::string lastError() const override;

 private:
  std::string path_;
  hid_device_* device_ = nullptr;
  std::uint32_t readTimeoutMs_ = 200;
  std::string shortWrite_;  // why the last write failed when hidapi took only part of the report
};

// The pads' HID interfaces present now (needs no access rights to the devices).
std::vector<PadEntry> enumerateUsbPads();

// The pads on USB, for the rest of the program.
class UsbPadSource final : public PadSource {
 public:
  std::vector<PadEntry> enumerate() override { return enumerateUsbPads(); }
  std::shared_ptr<PollingHidTransport> open(const PadEntry& pad, std::string& error) override;
  bool shared() const override { return true; }
};

// hid_init and hid_exit for the program's lifetime.
class HidapiLibrary {
 public:
  HidapiLibrary();
  ~HidapiLibrary();
  HidapiLibrary(const HidapiLibrary&) = delete;
  HidapiLibrary& operator=(const HidapiLibrary&) = delete;
  bool ready() const { return ready_; }

 private:
  bool ready_;
};

}  // namespace morvik::cli
