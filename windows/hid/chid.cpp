#include "hid/chid.h"

#include <algorithm>
#include <string>

namespace morvik::win {

CHid::CHid(HidPlatform& platform)
    : m_platform(platform), m_hWriteHandle(invalidHandle()), m_hReadHandle(invalidHandle()) {}

CHid::~CHid() {
  if (m_hDevNotify) m_platform.UnregisterDeviceNotification(m_hDevNotify);
  closeHandles();
  for (const auto& abandoned : m_AbandonedTransfers) m_platform.CloseHandle(abandoned.event);
}

void CHid::closeHandles() {
  for (Handle* handle : {&m_hWriteHandle, &m_hReadHandle}) {
    if (*handle == invalidHandle()) continue;
    m_platform.CloseHandle(*handle);
    *handle = invalidHandle();
  }
}

std::string CHid::DevicePath() const {
  std::lock_guard lock(m_searchMutex);
  return m_DevicePath;
}

// The detail buffer is sized for the interface that needed it; a longer path needs a new size.
// An interface whose detail call fails even with a buffer of its own size is skipped.
bool CHid::interfacePath(DeviceSet set, std::vector<std::byte>& detail, std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (detail.empty()) {
      std::uint32_t required = 0;
      m_platform.GetInterfaceDetail(set, {}, required, path);
      if (required == 0) return false;
      detail.resize(required);
    }
    std::uint32_t required = 0;
    if (m_platform.GetInterfaceDetail(set, detail, required, path)) return true;
    detail.clear();
  }
  return false;
}

CHid::ReportLengths CHid::reportLengths(Handle device) {
  ReportLengths lengths;
  if (!m_platform.GetReportLengths(device, lengths.input, lengths.output)) return {};
  return lengths;
}

// The first interface with the pad's ids whose reports fit. One device may offer several
// interfaces with the same ids; when none fits, the first is taken all the same, so that the
// pad is seen and an update on it fails with a message.
bool CHid::OpenHidDevice(Handle& device, std::uint16_t vendorId, std::uint16_t productId) {
  device = invalidHandle();
  const DeviceSet set = m_platform.GetHidInterfaces();
  if (!set) return false;
  std::vector<std::byte> detail;
  for (std::uint32_t index = 0; m_platform.EnumDeviceInterface(set, index); ++index) {
    std::string path;
    if (!interfacePath(set, detail, path)) continue;
    const Handle candidate = m_platform.CreateFile(path, FileAccess::ReadWrite, true);
    if (candidate == invalidHandle()) continue;  // held exclusively elsewhere, or gone
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    if (m_platform.GetAttributes(candidate, vid, pid) && vid == vendorId && pid == productId) {
      const ReportLengths lengths = reportLengths(candidate);
      if (device == invalidHandle() || lengths.fit()) {
        if (device != invalidHandle()) m_platform.CloseHandle(device);
        m_DevicePath = path;
        m_ReportLengths = lengths;
        device = candidate;
        if (lengths.fit()) break;
        continue;
      }
    }
    m_platform.CloseHandle(candidate);
  }
  m_platform.DestroyDeviceInfoList(set);
  return device != invalidHandle();
}

bool CHid::ReportLengthsFit() const {
  std::lock_guard lock(m_searchMutex);
  return m_ReportLengths.fit();
}

bool CHid::CheckDevice() {
  std::lock_guard lock(m_searchMutex);
  Handle device = invalidHandle();
  const bool found = OpenHidDevice(device, kVendorId, kProductId);
  if (!m_bNotifyRegistered) {
    RegisterHidNotification();
    m_bNotifyRegistered = 1;
  }
  if (found) m_platform.CloseHandle(device);
  m_bDeviceFound = found ? 1 : 0;
  return found;
}

bool CHid::RegisterHidNotification() {
  m_hDevNotify = m_platform.RegisterDeviceNotification(m_hNotifyWnd);
  return m_hDevNotify != nullptr;
}

// Both handles are overlapped, so that every transfer can be bounded by a wait.
bool CHid::OpenReadWrite() {
  std::string path;
  ReportLengths lengths;
  {
    std::lock_guard lock(m_searchMutex);
    path = m_DevicePath;
    lengths = m_ReportLengths;
  }
  closeHandles();
  m_bReportsFit = lengths.fit();
  m_bWriteFailed = false;
  m_hWriteHandle = m_platform.CreateFile(path, FileAccess::Write, true);
  if (m_hWriteHandle == invalidHandle()) return false;
  m_hReadHandle = m_platform.CreateFile(path, FileAccess::Read, true);
  if (m_hReadHandle == invalidHandle()) return false;
  m_nReadTimeout = kOpenReadTimeoutMs;
  return true;
}

// Bytes after a short payload keep what the previous report left there: the pad reads only
// as many bytes as the report's count byte names. A write that fails, or is still pending after
// kWriteTimeoutMs, breaks the link: later writes and reads fail at once.
bool CHid::WriteReport(const std::uint8_t* payload, std::uint8_t length) {
  const std::size_t n = std::min<std::size_t>(length, kReportLength - 1);
  m_OutputReport[0] = 0;  // report id
  std::copy_n(payload, n, m_OutputReport.begin() + 1);
  if (m_hWriteHandle == invalidHandle()) return failed("the pad is not open");
  if (!m_bReportsFit) return failed("the pad's reports are not 65 bytes long");
  if (m_bWriteFailed) return failed("an earlier write to the pad failed");
  const Handle event = m_platform.CreateEvent();
  if (!event) return failed("CreateEvent failed");
  Transfer write{std::make_unique<OverlappedReport>(), event};
  write.report->report = m_OutputReport;
  const IoState started = m_platform.WriteFile(m_hWriteHandle, *write.report, event);
  std::uint32_t wait = kWaitObject0;
  std::uint32_t transferred = 0;
  // A write that completed just as the wait ran out reached the pad: it counts as sent.
  const IoState state = finishTransfer(m_hWriteHandle, write, started, kWriteTimeoutMs, wait, transferred);
  if (state == IoState::Done && transferred == kReportLength) return true;
  m_bWriteFailed = true;
  if (wait == kWaitTimeout)
    return failed("the write did not complete within " + std::to_string(kWriteTimeoutMs) + " ms");
  if (state == IoState::Done) return failed("the pad took " + std::to_string(transferred) + " of 65 bytes");
  return failed("WriteFile failed");
}

bool CHid::failed(const std::string& why) {
  const std::uint32_t code = m_platform.GetLastError();
  m_sLastError = code ? why + " (Win32 error " + std::to_string(code) + ")" : why;
  return false;
}

LinkStatus CHid::writeReport(OutputReport report) {
  return WriteReport(report.data(), static_cast<std::uint8_t>(report.size())) ? kLinkOk : kLinkWriteFailed;
}

std::uint32_t CHid::ReadReport(std::uint8_t* destination, std::uint8_t count) {
  std::size_t length = 0;
  return readInto(destination, count, length);
}

ReadStatus CHid::readReport(std::span<std::uint8_t, kReportSize> report, std::size_t& length) {
  switch (readInto(report.data(), report.size(), length)) {
    case kWaitObject0: return ReadStatus::Report;
    case kWaitTimeout: return ReadStatus::NoReport;
    default: return ReadStatus::Failed;
  }
}

// Waits at most `timeoutMs` for a transfer that started as `started`. One still pending then is
// cancelled and waited for: its buffer, record and event go only once it has completed. One whose
// cancellation never completes is kept until the link goes away, and counts as failed. `wait`
// is the first wait's result (kWaitFailed for a transfer that failed to start or was kept).
IoState CHid::finishTransfer(Handle device, Transfer& transfer, IoState started, std::uint32_t timeoutMs,
                             std::uint32_t& wait, std::uint32_t& transferred) {
  wait = kWaitObject0;
  if (started == IoState::Failed) {
    m_platform.CloseHandle(transfer.event);
    wait = kWaitFailed;
    return IoState::Failed;
  }
  if (started == IoState::Pending) {
    wait = m_platform.WaitForSingleObject(transfer.event, timeoutMs);
    if (wait != kWaitObject0) {
      m_platform.CancelIo(device);
      m_platform.WaitForSingleObject(transfer.event, kCancelCompletionMs);
    }
  }
  const IoState state = m_platform.GetOverlappedResult(device, *transfer.report, transferred);
  if (state == IoState::Pending) {
    m_AbandonedTransfers.push_back(std::move(transfer));
    wait = kWaitFailed;
    return IoState::Failed;
  }
  m_platform.CloseHandle(transfer.event);
  return state;
}

// One overlapped read of one input report, waiting at most the read time-out. Only a read that
// completed without error counts as a report; one that failed (the pad was pulled out) is a
// broken link, and so is a link whose reports do not fit or whose last write failed.
std::uint32_t CHid::readInto(std::uint8_t* destination, std::size_t count, std::size_t& length) {
  length = 0;
  if (m_hReadHandle == invalidHandle()) {
    failed("the pad is not open");
    return kWaitAbandoned;
  }
  if (!m_bReportsFit || m_bWriteFailed) {
    failed(m_bWriteFailed ? "an earlier write to the pad failed" : "the pad's reports are not 65 bytes long");
    return kWaitFailed;
  }
  const Handle event = m_platform.CreateEvent();
  if (!event) {
    failed("CreateEvent failed");
    return kWaitFailed;
  }
  Transfer read{std::make_unique<OverlappedReport>(), event};
  const IoState started = m_platform.ReadFile(m_hReadHandle, *read.report, event);
  std::uint32_t wait = kWaitObject0;
  std::uint32_t transferred = 0;
  if (finishTransfer(m_hReadHandle, read, started, m_nReadTimeout, wait, transferred) != IoState::Done) {
    if (wait != kWaitTimeout) failed("ReadFile failed");
    return wait == kWaitObject0 ? kWaitFailed : wait;
  }
  // A report that arrived just as the wait ran out is delivered, not lost.
  length = std::min<std::size_t>(transferred > 0 ? transferred - 1 : 0, kReportLength - 1);
  std::copy_n(read.report->report.begin() + 1, std::min(count, length), destination);
  return kWaitObject0;
}

}  // namespace morvik::win
