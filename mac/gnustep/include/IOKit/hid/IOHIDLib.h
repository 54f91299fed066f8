// GNUstep build only: the IOKit HID manager and device calls Morvik GamePad makes. Devices are
// simulated pads that arrive and leave on cue (see SubstituteHid.mm); reports travel through
// the same callbacks and buffers as on macOS.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef int IOReturn;
typedef std::uint32_t IOOptionBits;
typedef struct __IOHIDManager* IOHIDManagerRef;
typedef struct __IOHIDDevice* IOHIDDeviceRef;

enum : IOReturn {
  kIOReturnSuccess = 0,
  kIOReturnError = static_cast<IOReturn>(0xE00002BC),
  kIOReturnNotAttached = static_cast<IOReturn>(0xE00002D9),
  kIOReturnNotPermitted = static_cast<IOReturn>(0xE00002E2),
};
enum : IOOptionBits { kIOHIDOptionsTypeNone = 0 };
enum IOHIDReportType { kIOHIDReportTypeInput = 0, kIOHIDReportTypeOutput = 1 };

#define kIOHIDVendorIDKey "VendorID"
#define kIOHIDProductIDKey "ProductID"
#define kIOHIDProductKey "Product"

typedef void (*IOHIDDeviceCallback)(void* context, IOReturn result, void* sender, IOHIDDeviceRef device);
typedef void (*IOHIDReportCallback)(void* context, IOReturn result, void* sender, IOHIDReportType type,
                                    std::uint32_t reportID, std::uint8_t* report, CFIndex reportLength);

IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef allocator, IOOptionBits options);
void IOHIDManagerSetDeviceMatchingMultiple(IOHIDManagerRef manager, CFArrayRef multiple);
void IOHIDManagerScheduleWithRunLoop(IOHIDManagerRef manager, CFRunLoopRef runLoop, CFStringRef runLoopMode);
IOReturn IOHIDManagerOpen(IOHIDManagerRef manager, IOOptionBits options);
IOReturn IOHIDManagerClose(IOHIDManagerRef manager, IOOptionBits options);
void IOHIDManagerRegisterDeviceMatchingCallback(IOHIDManagerRef manager, IOHIDDeviceCallback callback, void* context);
void IOHIDManagerRegisterDeviceRemovalCallback(IOHIDManagerRef manager, IOHIDDeviceCallback callback, void* context);

CFTypeRef IOHIDDeviceGetProperty(IOHIDDeviceRef device, CFStringRef key);
IOReturn IOHIDDeviceOpen(IOHIDDeviceRef device, IOOptionBits options);
void IOHIDDeviceRegisterInputReportCallback(IOHIDDeviceRef device, std::uint8_t* report, CFIndex reportLength,
                                            IOHIDReportCallback callback, void* context);
IOReturn IOHIDDeviceSetReport(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                              const std::uint8_t* report, CFIndex reportLength);
