// The virtual pad's driver: a HID minidriver that is only a pipe. The host's output reports go
// to the pad program, the pad program's reports come back as the pad's input reports. The pad
// program reaches the driver through a control device of the same driver (see channel.h).
//
// Two rules keep the Wine device host alive:
// - The HID class driver takes over the driver's CREATE, CLOSE, READ, WRITE, DEVICE_CONTROL and
//   PNP entries and treats every device object as a HID device. After registering, every entry
//   is wrapped: the control device's requests are served here, the rest go to the saved entry.
// - A write is never held while waiting for the pad program: the class driver waits for it on
//   the thread that also carries the pad program's requests. Writes are queued and completed at
//   once. Only the hold mode (a pad that takes no more output reports) leaves them pending, and
//   a timer of this driver, not the pad program, ends them.
//
// Nothing is lost unseen: the pad program is told of every write, also of those the driver
// refused or held, and a write or input report that finds its queue full fails and is counted.
#include "driver/hid_minidriver.h"

#include <cstddef>

#include "channel.h"

namespace {

using vpad::HidDeviceExtension;

constexpr ULONG kReportBytes = VPAD_REPORT_BYTES;

struct Report {
  UCHAR bytes[kReportBytes];
};

ULONG atMostOneReport(ULONG length) { return length < kReportBytes ? length : kReportBytes; }

// A fixed ring; when it is full the oldest items are kept and the push fails.
template <class Item, ULONG Capacity>
struct Ring {
  Item slots[Capacity];
  ULONG head;
  ULONG count;

  bool push(const Item& item) {
    if (count == Capacity) return false;
    slots[(head + count) % Capacity] = item;
    ++count;
    return true;
  }
  bool pop(Item& out) {
    if (count == 0) return false;
    out = slots[head];
    head = (head + 1) % Capacity;
    --count;
    return true;
  }
  void clear() { head = count = 0; }
};

// A vendor collection with one input and one output report, no report ids. The two report
// counts are set from the lengths the pad program declared (64 bytes each for the real pad).
constexpr ULONG kInputCountAt = 15;
constexpr ULONG kOutputCountAt = 21;
const UCHAR kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x81, 0x02,        //   input (data, variable, absolute)
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

struct ReportDescriptor {
  UCHAR bytes[sizeof(kReportDescriptor)];
};

// ---- the driver's state: one pad, one pad program

KSPIN_LOCK g_lock;
PDEVICE_OBJECT g_control;  // the pad program's device
PDRIVER_DISPATCH g_saved[IRP_MJ_MAXIMUM_FUNCTION + 1];

PFILE_OBJECT g_attached;  // the pad program's handle, while one answers for the pad
bool g_unplugged;         // between IOCTL_VPAD_UNPLUGGING and the next AddDevice
ULONG g_holdMs;           // nonzero: writes stay pending this long, then fail
VpadAttach g_lengths = {VPAD_HID_REPORT_LENGTH, VPAD_HID_REPORT_LENGTH};  // declared by the pad program
VpadDrops g_drops;
Ring<VpadOutput, 256> g_outputs;  // written by the host, not yet taken by the pad program
Ring<Report, 64> g_inputs;        // put by the pad program, not yet read by the class driver
LIST_ENTRY g_pendingReads;        // the class driver's READ_REPORT requests
LIST_ENTRY g_pendingTakes;        // the pad program's TAKE_OUTPUT requests
LIST_ENTRY g_heldWrites;          // WRITE_REPORT requests of the hold mode
KTIMER g_holdTimer;
KDPC g_holdDpc;

PLIST_ENTRY entryOf(PIRP irp) { return &irp->Tail.Overlay.ListEntry; }
PIRP irpOf(PLIST_ENTRY entry) {
  return reinterpret_cast<PIRP>(reinterpret_cast<char*>(entry) - offsetof(IRP, Tail.Overlay.ListEntry));
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

// ---- queues of pending requests, each request cancellable

void cancelQueued(PDEVICE_OBJECT, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  RemoveEntryList(entryOf(irp));  // harmless when a dequeuer took it first: see takeQueued
  InitializeListHead(entryOf(irp));
  KeReleaseSpinLock(&g_lock, irql);
  complete(irp, STATUS_CANCELLED);
}

// Called with g_lock held. False when the request was cancelled already: the caller completes it.
bool queue(LIST_ENTRY& list, PIRP irp) {
  IoSetCancelRoutine(irp, cancelQueued);
  if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) return false;
  IoMarkIrpPending(irp);
  InsertTailList(&list, entryOf(irp));
  return true;
}

// Called with g_lock held: the oldest request of `list` whose cancellation has not begun.
PIRP takeQueued(LIST_ENTRY& list) {
  while (!IsListEmpty(&list)) {
    PIRP irp = irpOf(RemoveHeadList(&list));
    InitializeListHead(entryOf(irp));
    if (IoSetCancelRoutine(irp, nullptr)) return irp;
    // Its cancel routine is running and completes it.
  }
  return nullptr;
}

// Moves every request of `list` onto `out` (g_lock held), to be completed after the lock.
void takeAll(LIST_ENTRY& list, LIST_ENTRY& out) {
  while (PIRP irp = takeQueued(list)) InsertTailList(&out, entryOf(irp));
}

void completeAll(LIST_ENTRY& list, NTSTATUS status) {
  while (!IsListEmpty(&list)) complete(irpOf(RemoveHeadList(&list)), status);
}

void copyReport(const Report& report, PVOID to, ULONG room) { RtlCopyMemory(to, report.bytes, atMostOneReport(room)); }

// Called with g_lock held: a write of the host for the pad program, handed to its waiting
// TAKE_OUTPUT request (`take`, to be completed after the lock by deliver) or queued. False
// when the queue is full: the write is lost to the pad program, and counted.
bool offer(const VpadOutput& output, PIRP& take) {
  take = nullptr;
  if (!g_attached) return true;  // no pad program: nobody answers, the pad drops what it gets
  take = takeQueued(g_pendingTakes);
  if (take || g_outputs.push(output)) return true;
  ++g_drops.outputs;
  return false;
}

void deliver(PIRP take, const VpadOutput& output) {
  if (!take) return;
  RtlCopyMemory(take->AssociatedIrp.SystemBuffer, &output, sizeof(output));
  complete(take, STATUS_SUCCESS, sizeof(output));
}

// ---- the hold mode's end: the held writes fail, as a write to a pad that stopped taking them

void holdExpired(PKDPC, PVOID, PVOID, PVOID) {
  LIST_ENTRY done;
  InitializeListHead(&done);
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  takeAll(g_heldWrites, done);
  KeReleaseSpinLock(&g_lock, irql);
  completeAll(done, STATUS_IO_TIMEOUT);
}

// ---- the HID device, as the class driver asks for it

NTSTATUS copyOut(PIRP irp, const void* data, ULONG size) {
  const ULONG room = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
  if (!irp->UserBuffer || room < size) return complete(irp, STATUS_BUFFER_TOO_SMALL);
  RtlCopyMemory(irp->UserBuffer, data, size);
  return complete(irp, STATUS_SUCCESS, size);
}

NTSTATUS getString(PIRP irp) {
  const auto id = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(
                      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.Type3InputBuffer)) &
                  0xFFFF;
  const wchar_t* text = nullptr;
  if (id == 1 || id == vpad::kHidStringManufacturer)
    text = L"Morvik";
  else if (id == 2 || id == vpad::kHidStringProduct)
    text = L"Morvik GamePad (virtual)";
  else if (id == 3 || id == vpad::kHidStringSerialNumber)
    text = L"VPAD0001";
  if (!text) return complete(irp, STATUS_INVALID_PARAMETER);
  ULONG size = sizeof(wchar_t);
  for (const wchar_t* c = text; *c; ++c) size += sizeof(wchar_t);
  return copyOut(irp, text, size);
}

NTSTATUS readReport(PIRP irp) {
  const ULONG room = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
  if (!irp->UserBuffer || room == 0) return complete(irp, STATUS_BUFFER_TOO_SMALL);
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  if (g_unplugged) {
    KeReleaseSpinLock(&g_lock, irql);
    // The class driver reads again at once; a short pause keeps it from spinning until the
    // device is gone.
    LARGE_INTEGER pause;
    pause.QuadPart = -10 * 1000 * 10;  // 10 ms
    KeDelayExecutionThread(KernelMode, FALSE, &pause);
    return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
  }
  Report report;
  if (g_inputs.pop(report)) {
    KeReleaseSpinLock(&g_lock, irql);
    copyReport(report, irp->UserBuffer, room);
    return complete(irp, STATUS_SUCCESS, atMostOneReport(room));
  }
  const bool queued = queue(g_pendingReads, irp);
  KeReleaseSpinLock(&g_lock, irql);
  return queued ? STATUS_PENDING : complete(irp, STATUS_CANCELLED);
}

NTSTATUS writeReport(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  auto* packet = static_cast<vpad::HidXferPacket*>(irp->UserBuffer);
  if (!packet) packet = static_cast<vpad::HidXferPacket*>(stack->Parameters.DeviceIoControl.Type3InputBuffer);
  if (!packet || !packet->reportBuffer) return complete(irp, STATUS_INVALID_PARAMETER);
  const UCHAR* bytes = packet->reportBuffer;
  ULONG length = packet->reportBufferLen;
  // The class driver strips the report id; should a whole report come, its id is skipped.
  if (length == kReportBytes + 1) {
    ++bytes;
    --length;
  }
  VpadOutput output;
  RtlZeroMemory(&output, sizeof(output));
  RtlCopyMemory(output.report, bytes, atMostOneReport(length));
  PIRP take = nullptr;
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  if (g_unplugged) {
    output.fate = VPAD_WRITE_REFUSED;
    offer(output, take);
    KeReleaseSpinLock(&g_lock, irql);
    deliver(take, output);
    return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
  }
  if (g_holdMs) {
    const bool first = IsListEmpty(&g_heldWrites);
    const bool queued = queue(g_heldWrites, irp);
    if (queued && first) {
      LARGE_INTEGER due;
      due.QuadPart = -static_cast<LONGLONG>(g_holdMs) * 10000;
      KeSetTimer(&g_holdTimer, due, &g_holdDpc);
    }
    output.fate = VPAD_WRITE_HELD;
    if (queued) offer(output, take);
    KeReleaseSpinLock(&g_lock, irql);
    deliver(take, output);
    return queued ? STATUS_PENDING : complete(irp, STATUS_CANCELLED);
  }
  output.fate = VPAD_WRITE_TAKEN;
  const bool offered = offer(output, take);
  KeReleaseSpinLock(&g_lock, irql);
  deliver(take, output);
  if (!offered) return complete(irp, STATUS_DEVICE_BUSY);
  // Written with its report id, as the class driver counts it for the caller.
  return complete(irp, STATUS_SUCCESS, length + 1);
}

NTSTATUS hidInternalControl(PDEVICE_OBJECT, PIRP irp) {
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  switch (code) {
    case vpad::kIoctlHidGetDeviceDescriptor: {
      vpad::HidDescriptor descriptor{};
      descriptor.bLength = sizeof(descriptor);
      descriptor.bDescriptorType = 0x21;
      descriptor.bcdHID = 0x0111;
      descriptor.bNumDescriptors = 1;
      descriptor.bReportType = 0x22;
      descriptor.wReportLength = sizeof(kReportDescriptor);
      return copyOut(irp, &descriptor, sizeof(descriptor));
    }
    case vpad::kIoctlHidGetReportDescriptor: {
      ReportDescriptor descriptor;
      RtlCopyMemory(descriptor.bytes, kReportDescriptor, sizeof(kReportDescriptor));
      KIRQL irql;
      KeAcquireSpinLock(&g_lock, &irql);
      descriptor.bytes[kInputCountAt] = static_cast<UCHAR>(g_lengths.inputLength - 1);
      descriptor.bytes[kOutputCountAt] = static_cast<UCHAR>(g_lengths.outputLength - 1);
      KeReleaseSpinLock(&g_lock, irql);
      return copyOut(irp, descriptor.bytes, sizeof(descriptor.bytes));
    }
    case vpad::kIoctlHidGetDeviceAttributes: {
      vpad::HidDeviceAttributes attributes{};
      attributes.Size = sizeof(attributes);
      attributes.VendorID = VPAD_VENDOR_ID;
      attributes.ProductID = VPAD_PRODUCT_ID;
      attributes.VersionNumber = 0x0100;
      return copyOut(irp, &attributes, sizeof(attributes));
    }
    case vpad::kIoctlHidGetString: return getString(irp);
    case vpad::kIoctlHidReadReport: return readReport(irp);
    case vpad::kIoctlHidWriteReport:
    case vpad::kIoctlHidSetOutputReport: return writeReport(irp);
    case vpad::kIoctlHidActivateDevice:
    case vpad::kIoctlHidDeactivateDevice: return complete(irp, STATUS_SUCCESS);
    default: return complete(irp, STATUS_NOT_SUPPORTED);
  }
}

void resetLink() {
  LIST_ENTRY failed;
  InitializeListHead(&failed);
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  takeAll(g_pendingReads, failed);
  takeAll(g_heldWrites, failed);
  g_inputs.clear();  // what the pad sent and the host never read goes with the pad
  KeReleaseSpinLock(&g_lock, irql);
  completeAll(failed, STATUS_DEVICE_NOT_CONNECTED);
}

NTSTATUS hidPnp(PDEVICE_OBJECT device, PIRP irp) {
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
  if (minor == IRP_MN_SURPRISE_REMOVAL || minor == IRP_MN_REMOVE_DEVICE) {
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    g_unplugged = true;
    KeReleaseSpinLock(&g_lock, irql);
    resetLink();
  }
  auto* extension = static_cast<HidDeviceExtension*>(device->DeviceExtension);
  irp->IoStatus.Status = STATUS_SUCCESS;
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(extension->NextDeviceObject, irp);
}

NTSTATUS hidPower(PDEVICE_OBJECT device, PIRP irp) {
  auto* extension = static_cast<HidDeviceExtension*>(device->DeviceExtension);
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(extension->NextDeviceObject, irp);
}

NTSTATUS addDevice(PDRIVER_OBJECT, PDEVICE_OBJECT fdo) {
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  g_unplugged = false;
  g_holdMs = 0;
  KeReleaseSpinLock(&g_lock, irql);
  resetLink();
  fdo->Flags &= ~static_cast<ULONG>(DO_DEVICE_INITIALIZING);
  return STATUS_SUCCESS;
}

// ---- the control device, as the pad program uses it

bool fitsReport(ULONG length) { return length >= 2 && length <= VPAD_HID_REPORT_LENGTH; }

void detach(PFILE_OBJECT file) {
  LIST_ENTRY cancelled;
  LIST_ENTRY released;
  InitializeListHead(&cancelled);
  InitializeListHead(&released);
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  if (g_attached == file) {
    g_attached = nullptr;
    g_holdMs = 0;
    g_outputs.clear();
    takeAll(g_pendingTakes, cancelled);
    takeAll(g_heldWrites, released);
  }
  KeReleaseSpinLock(&g_lock, irql);
  completeAll(cancelled, STATUS_CANCELLED);
  completeAll(released, STATUS_IO_TIMEOUT);
}

NTSTATUS controlIoctl(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  PFILE_OBJECT file = stack->FileObject;
  KIRQL irql;

  switch (code) {
    case IOCTL_VPAD_ATTACH: {
      if (!buffer || inLength < sizeof(VpadAttach)) return complete(irp, STATUS_BUFFER_TOO_SMALL);
      const VpadAttach lengths = *static_cast<const VpadAttach*>(buffer);
      if (!fitsReport(lengths.inputLength) || !fitsReport(lengths.outputLength))
        return complete(irp, STATUS_INVALID_PARAMETER);
      KeAcquireSpinLock(&g_lock, &irql);
      const bool taken = g_attached && g_attached != file;
      if (!taken) {
        g_attached = file;
        g_lengths = lengths;
        g_outputs.clear();
      }
      KeReleaseSpinLock(&g_lock, irql);
      return complete(irp, taken ? STATUS_SHARING_VIOLATION : STATUS_SUCCESS);
    }
    case IOCTL_VPAD_TAKE_OUTPUT: {
      if (!buffer || outLength < sizeof(VpadOutput)) return complete(irp, STATUS_BUFFER_TOO_SMALL);
      KeAcquireSpinLock(&g_lock, &irql);
      if (g_attached != file) {
        KeReleaseSpinLock(&g_lock, irql);
        return complete(irp, STATUS_INVALID_DEVICE_STATE);
      }
      VpadOutput output;
      if (g_outputs.pop(output)) {
        KeReleaseSpinLock(&g_lock, irql);
        RtlCopyMemory(buffer, &output, sizeof(output));
        return complete(irp, STATUS_SUCCESS, sizeof(output));
      }
      const bool queued = queue(g_pendingTakes, irp);
      KeReleaseSpinLock(&g_lock, irql);
      return queued ? STATUS_PENDING : complete(irp, STATUS_CANCELLED);
    }
    case IOCTL_VPAD_PUT_INPUT: {
      if (!buffer || inLength < kReportBytes) return complete(irp, STATUS_BUFFER_TOO_SMALL);
      KeAcquireSpinLock(&g_lock, &irql);
      if (g_attached != file) {
        KeReleaseSpinLock(&g_lock, irql);
        return complete(irp, STATUS_INVALID_DEVICE_STATE);
      }
      // A pad that is being pulled out sends nothing.
      PIRP read = g_unplugged ? nullptr : takeQueued(g_pendingReads);
      const bool lost = !read && !g_unplugged && !g_inputs.push(*static_cast<const Report*>(buffer));
      if (lost) ++g_drops.inputs;
      KeReleaseSpinLock(&g_lock, irql);
      if (read) {
        const ULONG room = IoGetCurrentIrpStackLocation(read)->Parameters.DeviceIoControl.OutputBufferLength;
        RtlCopyMemory(read->UserBuffer, buffer, atMostOneReport(room));
        complete(read, STATUS_SUCCESS, atMostOneReport(room));
      }
      return complete(irp, lost ? STATUS_DEVICE_BUSY : STATUS_SUCCESS);
    }
    case IOCTL_VPAD_HOLD_WRITES: {
      if (!buffer || inLength < sizeof(VpadHoldWrites)) return complete(irp, STATUS_BUFFER_TOO_SMALL);
      KeAcquireSpinLock(&g_lock, &irql);
      const bool mine = g_attached == file;
      if (mine) g_holdMs = static_cast<const VpadHoldWrites*>(buffer)->holdMs;
      KeReleaseSpinLock(&g_lock, irql);
      return complete(irp, mine ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_STATE);
    }
    case IOCTL_VPAD_GET_DROPS: {
      if (!buffer || outLength < sizeof(VpadDrops)) return complete(irp, STATUS_BUFFER_TOO_SMALL);
      KeAcquireSpinLock(&g_lock, &irql);
      const VpadDrops drops = g_drops;
      KeReleaseSpinLock(&g_lock, irql);
      RtlCopyMemory(buffer, &drops, sizeof(drops));
      return complete(irp, STATUS_SUCCESS, sizeof(drops));
    }
    case IOCTL_VPAD_UNPLUGGING:
      KeAcquireSpinLock(&g_lock, &irql);
      g_unplugged = true;
      KeReleaseSpinLock(&g_lock, irql);
      resetLink();
      return complete(irp, STATUS_SUCCESS);
    default: return complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
}

NTSTATUS controlDispatch(PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
    case IRP_MJ_CLEANUP: return complete(irp, STATUS_SUCCESS);
    // The handle's end: Wine sends no CLEANUP, so the pad program is detached here.
    case IRP_MJ_CLOSE: detach(stack->FileObject); return complete(irp, STATUS_SUCCESS);
    case IRP_MJ_DEVICE_CONTROL: return controlIoctl(irp);
    default: return complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  }
}

NTSTATUS dispatchAny(PDEVICE_OBJECT device, PIRP irp) {
  if (device == g_control) return controlDispatch(irp);
  const PDRIVER_DISPATCH saved = g_saved[IoGetCurrentIrpStackLocation(irp)->MajorFunction];
  if (!saved) return complete(irp, STATUS_INVALID_DEVICE_REQUEST);
  return saved(device, irp);
}

void unload(PDRIVER_OBJECT) {
  KeCancelTimer(&g_holdTimer);
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, VPAD_CONTROL_LINK_NAME);
  IoDeleteSymbolicLink(&link);
  if (g_control) IoDeleteDevice(g_control);
  g_control = nullptr;
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  KeInitializeSpinLock(&g_lock);
  InitializeListHead(&g_pendingReads);
  InitializeListHead(&g_pendingTakes);
  InitializeListHead(&g_heldWrites);
  KeInitializeTimer(&g_holdTimer);
  KeInitializeDpc(&g_holdDpc, holdExpired, nullptr);

  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = hidInternalControl;
  driver->MajorFunction[IRP_MJ_PNP] = hidPnp;
  driver->MajorFunction[IRP_MJ_POWER] = hidPower;
  driver->DriverExtension->AddDevice = addDevice;
  driver->DriverUnload = unload;

  vpad::HidMinidriverRegistration registration{};
  registration.Revision = 1;
  registration.DriverObject = driver;
  registration.RegistryPath = registryPath;
  registration.DeviceExtensionSize = sizeof(ULONG_PTR);
  registration.DevicesArePolled = FALSE;
  NTSTATUS status = HidRegisterMinidriver(&registration);
  if (!NT_SUCCESS(status)) return status;

  // The class driver's entries serve the HID device; the control device is served here.
  for (ULONG major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
    g_saved[major] = driver->MajorFunction[major];
    driver->MajorFunction[major] = dispatchAny;
  }

  UNICODE_STRING name;
  RtlInitUnicodeString(&name, VPAD_CONTROL_DEVICE_NAME);
  status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_control);
  if (!NT_SUCCESS(status)) return status;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, VPAD_CONTROL_LINK_NAME);
  status = IoCreateSymbolicLink(&link, &name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(g_control);
    g_control = nullptr;
    return status;
  }
  g_control->Flags |= DO_BUFFERED_IO;
  g_control->Flags &= ~static_cast<ULONG>(DO_DEVICE_INITIALIZING);
  return STATUS_SUCCESS;
}
