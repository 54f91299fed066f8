#include "pads/hidapi_pad.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <string>

namespace morvik::cli {
namespace {

std::string narrow(const wchar_t* text) {
  if (!text) return "unknown error";
  std::string out;
  std::mbstate_t state{};
  std::array<char, MB_LEN_MAX> buffer{};
  for (; *text; ++text) {
    const std::size_t n = std::wcrtomb(buffer.data(), *text, &state);
    if (n == static_cast<std::size_t>(-1)) {
      out += '?';
      state = {};
    } else {
      out.append(buffer.data(), n);
    }
  }
  return out;
}

}  // namespace

HidapiPad::~HidapiPad() {
  if (device_) hid_close(device_);
}

bool HidapiPad::OpenReadWrite() {
  if (!device_) device_ = hid_open_path(path_.c_str());
  readTimeoutMs_ = 200;
  return device_ != nullptr;
}

LinkStatus HidapiPad::writeReport(OutputReport report) {
  shortWrite_.clear();
  if (!device_) return kLinkWriteFailed;
  // hidapi takes the report ID as the first byte: 0, then the 64 report bytes.
  std::array<unsigned char, kReportSize + 1> buffer{};
  std::copy(report.begin(), report.end(), buffer.begin() + 1);
  const int sent = hid_write(device_, buffer.data(), buffer.size());
  if (sent < 0) return kLinkWriteFailed;
  // Part of a report is no report: the pad never acknowledges it.
  if (static_cast<std::size_t>(sent) < buffer.size()) {
    shortWrite_ = "the pad took " + std::to_string(sent) + " of " + std::to_string(buffer.size()) + " bytes";
    return kLinkWriteFailed;
  }
  return kLinkOk;
}

ReadStatus HidapiPad::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  if (!device_) return ReadStatus::Failed;
  const int got = hid_read_timeout(device_, report.data(), report.size(), static_cast<int>(readTimeoutMs_));
  if (got < 0) return ReadStatus::Failed;
  if (got == 0) return ReadStatus::NoReport;
  length = static_cast<std::size_t>(got);
  return ReadStatus::Report;
}

std::string HidapiPad::lastError() const { return shortWrite_.empty() ? narrow(hid_error(device_)) : shortWrite_; }

std::vector<PadEntry> enumerateUsbPads() {
  std::vector<PadEntry> pads;
  hid_device_info* devices = hid_enumerate(kBootModeIdentity.vendorId, 0);
  for (const hid_device_info* d = devices; d; d = d->next) {
    auto pad = classifyDevice(d->vendor_id, d->product_id, d->path ? d->path : "");
    if (!pad) continue;
    if (d->serial_number) pad->serial = narrow(d->serial_number);
    pads.push_back(std::move(*pad));
  }
  hid_free_enumeration(devices);
  return pads;
}

std::shared_ptr<PollingHidTransport> UsbPadSource::open(const PadEntry& entry, std::string& error) {
  auto pad = std::make_shared<HidapiPad>(entry.path);
  if (pad->OpenReadWrite()) return pad;
  error = pad->lastError();
  return nullptr;
}

HidapiLibrary::HidapiLibrary() : ready_(hid_init() == 0) {}
HidapiLibrary::~HidapiLibrary() {
  if (ready_) hid_exit();
}

}  // namespace morvik::cli
