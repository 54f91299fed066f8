// The channel between the virtual pad's driver and the program that answers for the pad.
//
// The driver serves two devices: the HID pad that programs such as update.exe open, and a
// control device that the pad program opens. Every report the host writes to the pad is handed
// to the pad program through IOCTL_VPAD_TAKE_OUTPUT, with what became of it; reports the pad
// program puts with IOCTL_VPAD_PUT_INPUT reach the host as the pad's input reports. Shared by
// the driver (kernel headers) and the user-mode programs (Windows headers): plain data only.
#pragma once

#define VPAD_CONTROL_DEVICE_NAME L"\\Device\\MorvikVirtualPad"
#define VPAD_CONTROL_LINK_NAME L"\\??\\MorvikVirtualPad"
#define VPAD_CONTROL_USER_PATH L"\\\\.\\MorvikVirtualPad"
#define VPAD_SERVICE_NAME L"morvik_vpad"
#define VPAD_HARDWARE_ID L"root\\morvik_vpad"
#define VPAD_DEVICE_NAME L"VID_0483&PID_5750"  // the HID interface path is built from it

#define VPAD_VENDOR_ID 0x0483
#define VPAD_PRODUCT_ID 0x5750
#define VPAD_REPORT_BYTES 64  // without the report id, which the HID class driver strips

// Buffered, on the control device. Each report is VPAD_REPORT_BYTES bytes.
#define VPAD_IOCTL(n) CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)
// This handle answers for the pad from now on (one at a time); its end detaches it.
// Input: VpadAttach.
#define IOCTL_VPAD_ATTACH VPAD_IOCTL(0)
// Completes with the next report the host wrote (output: VpadOutput). Stays pending until then.
#define IOCTL_VPAD_TAKE_OUTPUT VPAD_IOCTL(1)
// The pad sends this report to the host (input: one report). Fails with STATUS_DEVICE_BUSY, and
// is counted, when the host has left too many reports unread.
#define IOCTL_VPAD_PUT_INPUT VPAD_IOCTL(2)
// Writes from now on stay pending for VpadHoldWrites::holdMs, then fail: a pad that takes no
// more output reports. Input: VpadHoldWrites.
#define IOCTL_VPAD_HOLD_WRITES VPAD_IOCTL(3)
// The pad is being pulled out: reads and writes fail until the device is plugged in again.
#define IOCTL_VPAD_UNPLUGGING VPAD_IOCTL(4)
// What the driver had to drop since the driver started (output: VpadDrops).
#define IOCTL_VPAD_GET_DROPS VPAD_IOCTL(5)

// The report lengths the pad declares from the next time it is plugged in, as Windows counts
// them (the report id byte included): VPAD_HID_REPORT_LENGTH for the real pad's 64-byte reports.
#define VPAD_HID_REPORT_LENGTH (VPAD_REPORT_BYTES + 1)
struct VpadAttach {
  unsigned long inputLength;   // 2 to VPAD_HID_REPORT_LENGTH
  unsigned long outputLength;  // 2 to VPAD_HID_REPORT_LENGTH
};

struct VpadHoldWrites {
  unsigned long holdMs;
};

// What became of a write of the host.
enum VpadWriteFate : unsigned long {
  VPAD_WRITE_TAKEN = 0,    // it reached the pad; the host's write succeeded
  VPAD_WRITE_HELD = 1,     // hold mode: the host's write stays pending, then fails
  VPAD_WRITE_REFUSED = 2,  // the pad was being pulled out: the host's write failed
};

struct VpadOutput {
  unsigned long fate;  // VpadWriteFate
  unsigned char report[VPAD_REPORT_BYTES];
};

// Each a count of reports lost because a queue was full.
struct VpadDrops {
  unsigned long outputs;  // writes the pad program had not taken yet: the host's write failed
  unsigned long inputs;   // reports the host had not read yet: the pad program's put failed
};
