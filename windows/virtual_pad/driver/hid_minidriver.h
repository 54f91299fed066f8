// What a HID minidriver shares with the HID class driver: the registration, the device
// extension the class driver hands over, the descriptors and the internal requests. Declared
// here after Microsoft's driver documentation: the cross compiler's headers have no hidport.h
// and give the IOCTL_HID_* codes wrong values.
#pragma once

// The compiler's intrinsics and the kernel header both define these two; the kernel header's
// are kept (in C++ the second definition is an error).
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>

namespace vpad {

inline constexpr ULONG hidIoctl(ULONG id, ULONG method) {
  return CTL_CODE(FILE_DEVICE_KEYBOARD, id, method, FILE_ANY_ACCESS);
}

inline constexpr ULONG kIoctlHidGetDeviceDescriptor = hidIoctl(0, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidGetReportDescriptor = hidIoctl(1, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidReadReport = hidIoctl(2, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidWriteReport = hidIoctl(3, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidGetString = hidIoctl(4, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidActivateDevice = hidIoctl(7, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidDeactivateDevice = hidIoctl(8, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidGetDeviceAttributes = hidIoctl(9, METHOD_NEITHER);
inline constexpr ULONG kIoctlHidSetOutputReport = hidIoctl(101, METHOD_IN_DIRECT);
inline constexpr ULONG kIoctlHidGetInputReport = hidIoctl(104, METHOD_OUT_DIRECT);

// String ids of IOCTL_HID_GET_STRING. The class driver here asks with the USB descriptor's
// string indices 1, 2 and 3; the documented ids are 14, 15 and 16. Both are served.
inline constexpr ULONG kHidStringManufacturer = 14;
inline constexpr ULONG kHidStringProduct = 15;
inline constexpr ULONG kHidStringSerialNumber = 16;

struct HidMinidriverRegistration {
  ULONG Revision;  // 1
  PDRIVER_OBJECT DriverObject;
  PUNICODE_STRING RegistryPath;
  ULONG DeviceExtensionSize;
  BOOLEAN DevicesArePolled;
  UCHAR Reserved[3];
};

// The class driver's extension of each device object it creates for the minidriver.
struct HidDeviceExtension {
  PDEVICE_OBJECT PhysicalDeviceObject;
  PDEVICE_OBJECT NextDeviceObject;
  PVOID MiniDeviceExtension;
};

#pragma pack(push, 1)
struct HidDescriptor {
  UCHAR bLength;
  UCHAR bDescriptorType;  // 0x21
  USHORT bcdHID;
  UCHAR bCountry;
  UCHAR bNumDescriptors;
  UCHAR bReportType;  // 0x22: the report descriptor
  USHORT wReportLength;
};
#pragma pack(pop)

struct HidDeviceAttributes {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
  USHORT Reserved[11];
};

struct HidXferPacket {
  PUCHAR reportBuffer;
  ULONG reportBufferLen;
  UCHAR reportId;
};

}  // namespace vpad

extern "C" NTSTATUS NTAPI HidRegisterMinidriver(vpad::HidMinidriverRegistration* registration);
