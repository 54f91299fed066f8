// The device-setup, HID, file and event services that CHid uses, one virtual call each,
// so that the pad link's logic runs against a substitute as well as against the system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace morvik::win {

using Handle = void*;
using DeviceSet = void*;     // a device information set of HID interfaces
using NotifyHandle = void*;  // a device-change notification registration
using NotifyWindow = void*;  // the window that receives WM_DEVICECHANGE

// INVALID_HANDLE_VALUE.
inline Handle invalidHandle() { return reinterpret_cast<Handle>(~std::uintptr_t{0}); }

// Wait results as the platform reports them.
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitAbandoned = 128;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFF;

enum class FileAccess { Read, Write, ReadWrite };

// One overlapped read or write of one report: the report buffer and the platform's overlapped
// record. Both must stay in place until the transfer has completed, whether it succeeded,
// failed or was cancelled.
struct OverlappedReport {
  std::array<std::uint8_t, 65> report{};  // report id, then 64 payload bytes
  alignas(std::max_align_t) std::array<std::byte, 64> record{};
};
using OverlappedRead = OverlappedReport;
using OverlappedWrite = OverlappedReport;

enum class IoState {
  Done,     // the transfer completed (a read with a report)
  Pending,  // still in flight
  Failed,   // the transfer completed, or could not start, with an error
};

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // The HID interfaces present now (HID class GUID, present interfaces only); null on failure.
  virtual DeviceSet GetHidInterfaces() = 0;
  // Selects the interface at `index`; false past the last one.
  virtual bool EnumDeviceInterface(DeviceSet set, std::uint32_t index) = 0;
  // The selected interface's path. With an empty buffer it only reports the size it needs.
  // False when the buffer is too short (or empty).
  virtual bool GetInterfaceDetail(DeviceSet set, std::span<std::byte> buffer, std::uint32_t& requiredSize,
                                  std::string& path) = 0;
  virtual void DestroyDeviceInfoList(DeviceSet set) = 0;

  virtual Handle CreateFile(const std::string& path, FileAccess access, bool overlapped) = 0;
  virtual bool GetAttributes(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) = 0;
  virtual bool CloseHandle(Handle handle) = 0;
  // The lengths of the device's input and output reports, report id included
  // (HidD_GetPreparsedData and HidP_GetCaps); false when they cannot be read.
  virtual bool GetReportLengths(Handle device, std::uint16_t& inputLength, std::uint16_t& outputLength) = 0;

  // A manual-reset event, not signalled; null on failure.
  virtual Handle CreateEvent() = 0;
  // Overlapped transfers: the device must have been opened overlapped, and the whole report
  // buffer is one report, so its length must be the device's report length.
  virtual IoState ReadFile(Handle device, OverlappedRead& read, Handle event) = 0;
  virtual IoState WriteFile(Handle device, OverlappedWrite& write, Handle event) = 0;
  virtual std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) = 0;
  // Cancels the transfers on `device` that the calling thread started; a cancelled transfer
  // still has to complete before its buffer and event may go.
  virtual void CancelIo(Handle device) = 0;
  // The state of a transfer started earlier, without waiting; `transferred` is set when Done.
  virtual IoState GetOverlappedResult(Handle device, OverlappedReport& transfer, std::uint32_t& transferred) = 0;

  // Registers `window` for arrival and removal of HID interfaces; null on failure.
  virtual NotifyHandle RegisterDeviceNotification(NotifyWindow window) = 0;
  virtual void UnregisterDeviceNotification(NotifyHandle registration) = 0;

  // The calling thread's last error code, for messages (0 where the platform keeps none).
  virtual std::uint32_t GetLastError() { return 0; }
};

}  // namespace morvik::win
