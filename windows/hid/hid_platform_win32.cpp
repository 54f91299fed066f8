#include <windows.h>
#include <dbt.h>
extern "C" {  // the HID library's header declares C functions without saying so
#include <hidsdi.h>
}
#include <setupapi.h>
// The platform services' own names; the platform's are called by their explicit names here.
#undef CreateFile
#undef CreateEvent
#undef RegisterDeviceNotification

#include <memory>

#include "hid/hid_platform_win32.h"

namespace morvik::win {
namespace {

// A device information set with the interface selected last.
struct InterfaceSet {
  HDEVINFO info = INVALID_HANDLE_VALUE;
  GUID hidGuid{};
  SP_DEVICE_INTERFACE_DATA selected{};
};

InterfaceSet& interfaceSet(DeviceSet set) { return *static_cast<InterfaceSet*>(set); }

OVERLAPPED& overlappedOf(OverlappedReport& transfer) {
  static_assert(sizeof(OVERLAPPED) <= sizeof(OverlappedReport::record));
  return *reinterpret_cast<OVERLAPPED*>(transfer.record.data());
}

// The state of an overlapped transfer just after it was started.
IoState startedState(BOOL completed) {
  if (completed) return IoState::Done;
  return GetLastError() == ERROR_IO_PENDING ? IoState::Pending : IoState::Failed;
}

}  // namespace

DeviceSet Win32HidPlatform::GetHidInterfaces() {
  auto set = std::make_unique<InterfaceSet>();
  HidD_GetHidGuid(&set->hidGuid);
  set->info = SetupDiGetClassDevsA(&set->hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set->info == INVALID_HANDLE_VALUE) return nullptr;
  return set.release();
}

bool Win32HidPlatform::EnumDeviceInterface(DeviceSet set, std::uint32_t index) {
  InterfaceSet& s = interfaceSet(set);
  s.selected = SP_DEVICE_INTERFACE_DATA{};
  s.selected.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
  return SetupDiEnumDeviceInterfaces(s.info, nullptr, &s.hidGuid, index, &s.selected) != FALSE;
}

bool Win32HidPlatform::GetInterfaceDetail(DeviceSet set, std::span<std::byte> buffer, std::uint32_t& requiredSize,
                                          std::string& path) {
  InterfaceSet& s = interfaceSet(set);
  DWORD required = 0;
  if (buffer.size() < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    SetupDiGetDeviceInterfaceDetailA(s.info, &s.selected, nullptr, 0, &required, nullptr);
    requiredSize = required;
    return false;
  }
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  const BOOL ok = SetupDiGetDeviceInterfaceDetailA(s.info, &s.selected, detail, static_cast<DWORD>(buffer.size()),
                                                   &required, nullptr);
  requiredSize = required;
  if (!ok) return false;
  path = detail->DevicePath;
  return true;
}

void Win32HidPlatform::DestroyDeviceInfoList(DeviceSet set) {
  const std::unique_ptr<InterfaceSet> owned(static_cast<InterfaceSet*>(set));
  SetupDiDestroyDeviceInfoList(owned->info);
}

Handle Win32HidPlatform::CreateFile(const std::string& path, FileAccess access, bool overlapped) {
  const DWORD rights = access == FileAccess::Read    ? GENERIC_READ
                       : access == FileAccess::Write ? GENERIC_WRITE
                                                     : GENERIC_READ | GENERIC_WRITE;
  return CreateFileA(path.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
}

bool Win32HidPlatform::GetAttributes(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) {
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof(attributes);
  if (!HidD_GetAttributes(device, &attributes)) return false;
  vendorId = attributes.VendorID;
  productId = attributes.ProductID;
  return true;
}

bool Win32HidPlatform::CloseHandle(Handle handle) { return ::CloseHandle(handle) != FALSE; }

bool Win32HidPlatform::GetReportLengths(Handle device, std::uint16_t& inputLength, std::uint16_t& outputLength) {
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!HidD_GetPreparsedData(device, &preparsed)) return false;
  HIDP_CAPS caps{};
  const bool read = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
  HidD_FreePreparsedData(preparsed);
  if (!read) return false;
  inputLength = caps.InputReportByteLength;
  outputLength = caps.OutputReportByteLength;
  return true;
}

Handle Win32HidPlatform::CreateEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

IoState Win32HidPlatform::ReadFile(Handle device, OverlappedRead& read, Handle event) {
  OVERLAPPED& overlapped = overlappedOf(read);
  overlapped = OVERLAPPED{};
  overlapped.hEvent = event;
  return startedState(
      ::ReadFile(device, read.report.data(), static_cast<DWORD>(read.report.size()), nullptr, &overlapped));
}

IoState Win32HidPlatform::WriteFile(Handle device, OverlappedWrite& write, Handle event) {
  OVERLAPPED& overlapped = overlappedOf(write);
  overlapped = OVERLAPPED{};
  overlapped.hEvent = event;
  return startedState(
      ::WriteFile(device, write.report.data(), static_cast<DWORD>(write.report.size()), nullptr, &overlapped));
}

std::uint32_t Win32HidPlatform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(object, milliseconds);
}

void Win32HidPlatform::CancelIo(Handle device) { ::CancelIo(device); }

IoState Win32HidPlatform::GetOverlappedResult(Handle device, OverlappedReport& transfer, std::uint32_t& transferred) {
  DWORD count = 0;
  if (::GetOverlappedResult(device, &overlappedOf(transfer), &count, FALSE)) {
    transferred = count;
    return IoState::Done;
  }
  return GetLastError() == ERROR_IO_INCOMPLETE ? IoState::Pending : IoState::Failed;
}

NotifyHandle Win32HidPlatform::RegisterDeviceNotification(NotifyWindow window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HidD_GetHidGuid(&filter.dbcc_classguid);
  return RegisterDeviceNotificationA(static_cast<HWND>(window), &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void Win32HidPlatform::UnregisterDeviceNotification(NotifyHandle registration) {
  ::UnregisterDeviceNotification(registration);
}

std::uint32_t Win32HidPlatform::GetLastError() { return ::GetLastError(); }

}  // namespace morvik::win
