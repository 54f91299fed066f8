#include "host/pad_channel.h"

#include <winioctl.h>

namespace morvik::vpad {

PadChannel::~PadChannel() {
  if (m_device != INVALID_HANDLE_VALUE) CloseHandle(m_device);
}

std::string PadChannel::attach(const VpadAttach& lengths) {
  if (m_device != INVALID_HANDLE_VALUE) CloseHandle(m_device);  // an earlier attempt's
  m_device = CreateFileW(VPAD_CONTROL_USER_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (m_device == INVALID_HANDLE_VALUE)
    return "cannot open the virtual pad's driver (error " + std::to_string(GetLastError()) + ")";
  if (!control(IOCTL_VPAD_ATTACH, &lengths, sizeof(lengths), nullptr, 0, nullptr))
    return "another pad program answers for the pad";
  return {};
}

// One request on the overlapped handle, waited for; with `stop`, abandoned when it is signalled.
bool PadChannel::control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, HANDLE stop) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return false;
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(m_device, code, const_cast<void*>(in), inSize, out, outSize, &returned, &overlapped);
  if (!ok && GetLastError() == ERROR_IO_PENDING) {
    const HANDLE waits[] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(stop ? 2 : 1, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
      CancelIoEx(m_device, &overlapped);
    ok = GetOverlappedResult(m_device, &overlapped, &returned, TRUE);
  }
  CloseHandle(overlapped.hEvent);
  return ok != FALSE;
}

bool PadChannel::takeOutput(VpadOutput& output, HANDLE stop) {
  return control(IOCTL_VPAD_TAKE_OUTPUT, nullptr, 0, &output, sizeof(output), stop);
}

bool PadChannel::putInput(const RawReport& report) {
  return control(IOCTL_VPAD_PUT_INPUT, report.data(), static_cast<DWORD>(report.size()), nullptr, 0, nullptr);
}

std::optional<VpadDrops> PadChannel::drops() {
  VpadDrops drops{};
  if (!control(IOCTL_VPAD_GET_DROPS, nullptr, 0, &drops, sizeof(drops), nullptr)) return std::nullopt;
  return drops;
}

bool PadChannel::holdWrites(std::uint32_t holdMs) {
  const VpadHoldWrites hold{holdMs};
  return control(IOCTL_VPAD_HOLD_WRITES, &hold, sizeof(hold), nullptr, 0, nullptr);
}

}  // namespace morvik::vpad
