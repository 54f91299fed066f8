#include "hid/chid.h"

#include <algorithm>

namespace morvik::win {

CHid::CHid(HidPlatform& platform)
    : m_platform(platform), m_hWriteHandle(invalidHandle()), m_hReadHandle(invalidHandle()) {}

CHid::~CHid() {
  if (m_hDevNotify) m_platform.UnregisterDeviceNotification(m_hDevNotify);
  closeHandles();
  for (const auto& abandoned : m_AbandonedReads) m_platform.CloseHandle(abandoned.event);
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

bool CHid::OpenHidDevice(Handle& device, std::uint16_t vendorId, std::uint16_t productId) {
  device = invalidHandle();
  const DeviceSet set = m_platform.GetHidInterfaces();
  if (!set) return false;
  std::vector<std::byte> detail;
  bool found = false;
  for (std::uint32_t index = 0; !found && m_platform.EnumDeviceInterface(set, index); ++index) {
    std::string path;
    if (!interfacePath(set, detail, path)) continue;
    const Handle candidate = m_platform.CreateFile(path, FileAccess::ReadWrite, true);
    if (candidate == invalidHandle()) continue;  // held exclusively elsewhere, or gone
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    if (m_platform.GetAttributes(candidate, vid, pid) && vid == vendorId && pid == productId) {
      m_DevicePath = path;
      device = candidate;
      found = true;
    } else {
      m_platform.CloseHandle(candidate);
    }
  }
  m_platform.DestroyDeviceInfoList(set);
  return found;
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

bool CHid::OpenReadWrite() {
  const std::string path = DevicePath();
  closeHandles();
  m_hWriteHandle = m_platform.CreateFile(path, FileAccess::Write, false);
  if (m_hWriteHandle == invalidHandle()) return false;
  m_hReadHandle = m_platform.CreateFile(path, FileAccess::Read, true);
  if (m_hReadHandle == invalidHandle()) return false;
  m_nReadTimeout = kOpenReadTimeoutMs;
  return true;
}

// Bytes after a short payload keep what the previous report left there: the pad reads only
// as many bytes as the report's count byte names.
bool CHid::WriteReport(const std::uint8_t* payload, std::uint8_t length) {
  const std::size_t n = std::min<std::size_t>(length, kReportLength - 1);
  m_OutputReport[0] = 0;  // report id
  std::copy_n(payload, n, m_OutputReport.begin() + 1);
  if (m_hWriteHandle == invalidHandle()) return false;
  return m_platform.WriteFile(m_hWriteHandle, m_OutputReport);
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

// One overlapped read of one input report, waiting at most the read time-out. Only a read that
// completed without error counts as a report; one that failed (the pad was pulled out) is a
// broken link. A cancelled read is waited for before its buffer, record and event go away.
std::uint32_t CHid::readInto(std::uint8_t* destination, std::size_t count, std::size_t& length) {
  length = 0;
  if (m_hReadHandle == invalidHandle()) return kWaitAbandoned;
  const Handle event = m_platform.CreateEvent();
  if (!event) return kWaitFailed;
  auto read = std::make_unique<OverlappedRead>();

  const IoState started = m_platform.ReadFile(m_hReadHandle, *read, event);
  if (started == IoState::Failed) {
    m_platform.CloseHandle(event);
    return kWaitFailed;
  }
  std::uint32_t wait = kWaitObject0;
  if (started == IoState::Pending) {
    wait = m_platform.WaitForSingleObject(event, m_nReadTimeout);
    if (wait != kWaitObject0) {
      m_platform.CancelIo(m_hReadHandle);
      m_platform.WaitForSingleObject(event, kCancelCompletionMs);
    }
  }
  std::uint32_t transferred = 0;
  const IoState state = m_platform.GetOverlappedResult(m_hReadHandle, *read, transferred);
  if (state == IoState::Pending) {
    // The platform may still write into the buffer and record and signal the event, so all
    // three must outlive the read. The link is broken.
    m_AbandonedReads.push_back({std::move(read), event});
    return kWaitFailed;
  }
  m_platform.CloseHandle(event);
  if (state == IoState::Failed) return wait == kWaitObject0 ? kWaitFailed : wait;
  // A report that arrived just as the wait ran out is delivered, not lost.
  length = std::min<std::size_t>(transferred > 0 ? transferred - 1 : 0, kReportLength - 1);
  std::copy_n(read->report.begin() + 1, std::min(count, length), destination);
  return kWaitObject0;
}

}  // namespace morvik::win
