// CHid: the program's link to the pad in its boot mode. It finds the pad among the HID
// interfaces, opens it, writes and reads its 65-byte reports, and registers the dialog for
// HID arrival and removal. It is the engine's polling transport.
//
// Every transfer is overlapped and bounded by a wait, so a pad that stops taking or sending
// reports holds neither the dialog's thread nor the worker. A device with the pad's ids whose
// reports are not 65 bytes long is found, but its link refuses every transfer, so that an
// update on it fails visibly instead of doing nothing.
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
  // How long a cancelled transfer may take to complete before its buffers are given up.
  static constexpr std::uint32_t kCancelCompletionMs = 1000;
  // A write to the pad takes about a millisecond on USB; one still pending after this has
  // failed: the pad takes no more output reports.
  static constexpr std::uint32_t kWriteTimeoutMs = 1000;

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
  // Why the last write or read failed (with the Win32 error, where there was one).
  std::string lastError() const override { return m_sLastError; }

  NotifyWindow m_hNotifyWnd = nullptr;
  // Read by the worker while the dialog's thread runs presence checks.
  std::atomic<int> m_bDeviceFound{0};

  std::string DevicePath() const;
  std::uint32_t ReadTimeout() const { return m_nReadTimeout; }
  // Whether the pad found last has 65-byte input and output reports.
  bool ReportLengthsFit() const;

 private:
  struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    bool fit() const { return input == kReportLength && output == kReportLength; }
  };
  // A transfer and its event, while it may still be in flight.
  struct Transfer {
    std::unique_ptr<OverlappedReport> report;
    Handle event;
  };
  bool interfacePath(DeviceSet set, std::vector<std::byte>& detail, std::string& path);
  ReportLengths reportLengths(Handle device);
  std::uint32_t readInto(std::uint8_t* destination, std::size_t count, std::size_t& length);
  IoState finishTransfer(Handle device, Transfer& transfer, IoState started, std::uint32_t timeoutMs,
                         std::uint32_t& wait, std::uint32_t& transferred);
  void closeHandles();
  // Keeps why a transfer failed; returns false, for the failing paths' returns.
  bool failed(const std::string& why);

  HidPlatform& m_platform;
  Handle m_hWriteHandle;
  Handle m_hReadHandle;
  std::string m_DevicePath;
  ReportLengths m_ReportLengths;  // of the pad at m_DevicePath
  // Set by OpenReadWrite; used by the thread that holds the link.
  bool m_bReportsFit = false;
  // A write failed or timed out: the pad can be told nothing more, so no answer will come.
  bool m_bWriteFailed = false;
  std::atomic<std::uint32_t> m_nReadTimeout{0};
  std::string m_sLastError;  // written and read by the thread that holds the link
  int m_bNotifyRegistered = 0;
  NotifyHandle m_hDevNotify = nullptr;
  // Presence checks run on the dialog's thread and at the end of an update on the worker.
  mutable std::mutex m_searchMutex;
  std::array<std::uint8_t, kReportLength> m_OutputReport{};  // never cleared: see WriteReport
  // Transfers whose cancellation never completed: the platform may still write into them and
  // signal their events, so they are kept until the link itself goes away.
  std::vector<Transfer> m_AbandonedTransfers;
};

}  // namespace morvik::win
