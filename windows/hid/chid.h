// CHid: the program's link to the pad in its boot mode. It finds the pad among the HID
// interfaces, opens it, writes and reads its 65-byte reports, and registers the dialog for
// HID arrival and removal. It is the engine's polling transport.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/hid_platform.h"
#include "morvik/hid_transport.h"

namespace morvik::win {

class CHid final : public PollingHidTransport {
 public:
  static constexpr std::uint16_t kVendorId = 0x0483;
  static constexpr std::uint16_t kProductId = 0x5750;
  static constexpr std::size_t kReportLength = 65;  // report id + 64 payload bytes
  static constexpr std::uint32_t kOpenReadTimeoutMs = 200;
  // How long a cancelled read may take to complete before its buffers are given up.
  static constexpr std::uint32_t kCancelCompletionMs = 1000;

  explicit CHid(HidPlatform& platform);
  CHid(const CHid&) = delete;
  CHid& operator=(const CHid&) = delete;
  ~CHid() override;

  bool OpenHidDevice(Handle& device, std::uint16_t vendorId, std::uint16_t productId);
  bool CheckDevice();
  bool RegisterHidNotification();
  bool OpenReadWrite() override;
  bool WriteReport(const std::uint8_t* payload, std::uint8_t length);
  std::uint32_t ReadReport(std::uint8_t* destination, std::uint8_t count);

  // The engine's side of the link.
  LinkStatus writeReport(OutputReport report) override;
  ReadStatus readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) override;
  void SetReadTimeout(std::uint32_t milliseconds) override { m_nReadTimeout = milliseconds; }

  NotifyWindow m_hNotifyWnd = nullptr;
  // Read by the worker while the dialog's thread runs presence checks.
  std::atomic<int> m_bDeviceFound{0};

  std::string DevicePath() const;
  std::uint32_t ReadTimeout() const { return m_nReadTimeout; }

 private:
  bool interfacePath(DeviceSet set, std::vector<std::byte>& detail, std::string& path);
  std::uint32_t readInto(std::uint8_t* destination, std::size_t count, std::size_t& length);
  void closeHandles();

  HidPlatform& m_platform;
  Handle m_hWriteHandle;
  Handle m_hReadHandle;
  std::string m_DevicePath;
  std::atomic<std::uint32_t> m_nReadTimeout{0};
  int m_bNotifyRegistered = 0;
  NotifyHandle m_hDevNotify = nullptr;
  // Presence checks run on the dialog's thread and at the end of an update on the worker.
  mutable std::mutex m_searchMutex;
  std::array<std::uint8_t, kReportLength> m_OutputReport{};  // never cleared: see WriteReport
  // Reads whose cancellation never completed: the platform may still write into them, so they
  // are kept until the link itself goes away.
  struct AbandonedRead {
    std::unique_ptr<OverlappedRead> read;
    Handle event;
  };
  std::vector<AbandonedRead> m_AbandonedReads;
};

}  // namespace morvik::win
