// The pad link's platform services: SetupAPI, the HID library, files and events.
#pragma once

#include "hid/hid_platform.h"

namespace morvik::win {

class Win32HidPlatform final : public HidPlatform {
 public:
  DeviceSet GetHidInterfaces() override;
  std::uint32_t GetLastError() override;
  bool EnumDeviceInterface(DeviceSet set, std::uint32_t index) override;
  bool GetInterfaceDetail(DeviceSet set, std::span<std::byte> buffer, std::uint32_t& requiredSize,
                          std::string& path) override;
  void DestroyDeviceInfoList(DeviceSet set) override;
  Handle CreateFile(const std::string& path, FileAccess access, bool overlapped) override;
  bool GetAttributes(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) override;
  bool CloseHandle(Handle handle) override;
  bool GetReportLengths(Handle device, std::uint16_t& inputLength, std::uint16_t& outputLength) override;
  Handle CreateEvent() override;
  IoState ReadFile(Handle device, OverlappedRead& read, Handle event) override;
  IoState WriteFile(Handle device, OverlappedWrite& write, Handle event) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  void CancelIo(Handle device) override;
  IoState GetOverlappedResult(Handle device, OverlappedReport& transfer, std::uint32_t& transferred) override;
  NotifyHandle RegisterDeviceNotification(NotifyWindow window) override;
  void UnregisterDeviceNotification(NotifyHandle registration) override;
};

}  // namespace morvik::win
