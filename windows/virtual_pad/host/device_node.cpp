#include "host/device_node.h"

#include <windows.h>
#include <devguid.h>
extern "C" {
#include <hidsdi.h>
}
#include <newdev.h>
#include <setupapi.h>
#include <winioctl.h>

#include <array>
#include <vector>

#include "channel.h"

namespace morvik::vpad {
namespace {

constexpr wchar_t kEnumKey[] = L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\" VPAD_DEVICE_NAME;
// What the device's Service value names while the pad is out: a service that does not exist,
// so that re-enumeration finds no driver for the device and drops it.
constexpr wchar_t kUnpluggedService[] = L"morvik_vpad_unplugged";
constexpr DWORD kReenumerateRootDevices = 128;

std::string lastError(const char* what) {
  return std::string(what) + " failed (error " + std::to_string(GetLastError()) + ")";
}

struct ServiceHandle {
  SC_HANDLE handle = nullptr;
  ServiceHandle() = default;
  explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle) CloseServiceHandle(handle);
  }
};

// Sets the Service value of every instance of the pad's device.
std::string setDeviceService(const wchar_t* service) {
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ | KEY_WRITE, &root) != ERROR_SUCCESS)
    return "the pad's device node is not installed";
  std::array<wchar_t, 256> name{};
  int changed = 0;
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(root, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY instance = nullptr;
    if (RegOpenKeyExW(root, name.data(), 0, KEY_SET_VALUE, &instance) != ERROR_SUCCESS) continue;
    const auto bytes = static_cast<DWORD>((wcslen(service) + 1) * sizeof(wchar_t));
    if (RegSetValueExW(instance, L"Service", 0, REG_SZ, reinterpret_cast<const BYTE*>(service), bytes) == ERROR_SUCCESS)
      ++changed;
    RegCloseKey(instance);
  }
  RegCloseKey(root);
  return changed ? std::string() : "the pad's device node has no instance";
}

// A driver that is not running has no devices to drop.
std::string reenumerate(bool mayBeStopped = false) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.handle) return lastError("OpenSCManager");
  ServiceHandle service(OpenServiceW(manager.handle, VPAD_SERVICE_NAME, SERVICE_ALL_ACCESS));
  if (!service.handle) return lastError("OpenService");
  SERVICE_STATUS status{};
  if (!ControlService(service.handle, kReenumerateRootDevices, &status) &&
      !(mayBeStopped && GetLastError() == ERROR_SERVICE_NOT_ACTIVE))
    return lastError("ControlService");
  return {};
}

}  // namespace

std::string startDriver() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.handle) return lastError("OpenSCManager");
  ServiceHandle service(OpenServiceW(manager.handle, VPAD_SERVICE_NAME, SERVICE_START | SERVICE_QUERY_STATUS));
  if (!service.handle) return lastError("OpenService");
  // Right after the installation the device's own start may hold the service database.
  for (int tries = 0;; ++tries) {
    if (StartServiceW(service.handle, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) return {};
    const DWORD error = GetLastError();
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.handle, &status) && status.dwCurrentState == SERVICE_RUNNING) return {};
    if (error != ERROR_SERVICE_DATABASE_LOCKED || tries == 50) {
      SetLastError(error);
      return lastError("StartService");
    }
    Sleep(200);
  }
}

std::string installPad(const std::wstring& infPath) {
  HKEY existing = nullptr;
  const bool present = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnumKey, 0, KEY_READ, &existing) == ERROR_SUCCESS;
  if (existing) RegCloseKey(existing);
  if (!present) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_SYSTEM, nullptr);
    if (set == INVALID_HANDLE_VALUE) return lastError("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    std::string failure;
    // Two strings and the list's closing null.
    static constexpr wchar_t kHardwareIds[] = VPAD_HARDWARE_ID L"\0";
    if (!SetupDiCreateDeviceInfoW(set, VPAD_DEVICE_NAME, &GUID_DEVCLASS_SYSTEM, nullptr, nullptr, DICD_GENERATE_ID,
                                  &device))
      failure = lastError("SetupDiCreateDeviceInfo");
    else if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
                                                reinterpret_cast<const BYTE*>(kHardwareIds), sizeof(kHardwareIds)))
      failure = lastError("SetupDiSetDeviceRegistryProperty");
    else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device))
      failure = lastError("DIF_REGISTERDEVICE");
    SetupDiDestroyDeviceInfoList(set);
    if (!failure.empty()) return failure;
  }
  BOOL reboot = FALSE;
  if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, VPAD_HARDWARE_ID, infPath.c_str(), INSTALLFLAG_FORCE, &reboot))
    return lastError("UpdateDriverForPlugAndPlayDevices");
  return {};
}

std::string plugPad() {
  if (std::string failure = setDeviceService(VPAD_SERVICE_NAME); !failure.empty()) return failure;
  if (std::string failure = startDriver(); !failure.empty()) return failure;
  if (std::string failure = reenumerate(); !failure.empty()) return failure;
  // The HID class driver adds the interface a moment after the device.
  for (int tries = 0; tries < 100; ++tries) {
    if (!padInterfacePath().empty()) return {};
    Sleep(100);
  }
  return "the pad's HID interface did not appear within 10 s";
}

std::string padInterfacePath() {
  GUID hidGuid{};
  HidD_GetHidGuid(&hidGuid);
  HDEVINFO set = SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return {};
  std::string found;
  SP_DEVICE_INTERFACE_DATA item{};
  item.cbSize = sizeof(item);
  for (DWORD index = 0; found.empty() && SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &item); ++index) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &item, nullptr, 0, &size, nullptr);
    std::vector<std::byte> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, &item, detail, size, nullptr, nullptr)) continue;
    HANDLE device = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) continue;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (HidD_GetAttributes(device, &attributes) && attributes.VendorID == VPAD_VENDOR_ID &&
        attributes.ProductID == VPAD_PRODUCT_ID)
      found = detail->DevicePath;
    CloseHandle(device);
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

std::string unplugPad() {
  // The driver first fails what is pending, so that nothing waits on the pad while it goes.
  HANDLE control =
      CreateFileW(VPAD_CONTROL_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (control != INVALID_HANDLE_VALUE) {
    DWORD returned = 0;
    DeviceIoControl(control, IOCTL_VPAD_UNPLUGGING, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(control);
  }
  if (std::string failure = setDeviceService(kUnpluggedService); !failure.empty()) return failure;
  return reenumerate(true);
}

}  // namespace morvik::vpad
