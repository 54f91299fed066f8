// Stand-ins for the platform's HID services: a scripted one that plays back read and write
// outcomes and keeps a log of every call, and one whose pad is the simulated pad. Both keep
// the platform's rules: a transfer's length is the device's report length, a transfer is
// bounded only on a handle opened overlapped, CancelIo reaches only the calling thread's
// transfers, and a transfer's buffer and event stay until it has completed.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hid/hid_platform.h"
#include "morvik/simulated_pad.h"

namespace morvik::win::fake {

struct HidInterface {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool opens = true;                     // false: held exclusively by another program
  bool detailAlwaysFails = false;        // the detail call fails whatever the buffer
  std::uint16_t inputReportLength = 65;  // report id included
  std::uint16_t outputReportLength = 65;
};

// How one overlapped read goes.
struct ScriptedRead {
  IoState start = IoState::Pending;
  std::uint32_t wait = kWaitObject0;
  IoState completion = IoState::Done;  // what the read ends with when the wait saw it end
  std::uint32_t transferred = 65;
  std::vector<std::uint8_t> report;  // from byte 0 (the report id)
  // How a cancelled read ends: cancelled (Failed), with the report that came just then (Done),
  // or never (Pending).
  IoState afterCancel = IoState::Failed;
};

// How an overlapped write goes; the default completes at once.
struct ScriptedWrite {
  IoState start = IoState::Done;
  std::uint32_t wait = kWaitObject0;
  IoState completion = IoState::Done;  // what the write ends with when the wait saw it end
  IoState afterCancel = IoState::Failed;
  std::uint32_t transferred = 65;  // fewer: only part of the report went; the device keeps none of it
};
// A pad that takes no more output reports: the write stays pending until it is cancelled.
inline constexpr ScriptedWrite kStalledWrite{IoState::Pending, kWaitTimeout, IoState::Done, IoState::Failed};

class ScriptedHidPlatform : public HidPlatform {
 public:
  void setInterfaces(std::vector<HidInterface> interfaces);
  void queueRead(ScriptedRead read);
  // Every write after the first `after` ones goes as `script`.
  void scriptWrites(ScriptedWrite script, std::size_t after = 0);
  std::vector<std::string> calls() const;
  std::vector<std::string> callsNamed(const std::string& prefix) const;
  std::size_t openHandleCount() const;
  // The reports that reached the device.
  std::vector<std::vector<std::uint8_t>> writes() const;
  // Problems the platform would not survive: a handle closed twice, an event or a transfer
  // record released or reused while its transfer was still in flight, a transfer on a handle
  // opened without overlapped (nothing could bound it).
  std::vector<std::string> faults() const;
  // Lets every transfer that never completed write into its buffer now, as a late completion would.
  void completeAbandonedReads();

  DeviceSet GetHidInterfaces() override;
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

 protected:
  struct Read {
    OverlappedRead* record = nullptr;
    Handle event = nullptr;
    ScriptedRead script;
    IoState state = IoState::Pending;
    Handle device = nullptr;
    std::thread::id thread = std::this_thread::get_id();
    bool write = false;
  };
  struct OpenFile {
    std::string path;
    FileAccess access = FileAccess::ReadWrite;
    bool overlapped = false;
  };
  virtual std::vector<HidInterface> presentInterfaces();
  // A write that completed hands its report to the device; false: the device refused it.
  virtual bool deliverWrite(std::span<const std::uint8_t> report);
  void log(std::string call);
  std::string pathOf(Handle device);
  const HidInterface* interfaceOf(Handle device);
  // The platform's checks before a transfer starts; false: it fails at once.
  bool transferMayStart(Handle device, const OverlappedReport& record, bool write);
  void settle(Read& transfer, IoState state);

  mutable std::mutex mutex_;
  std::vector<HidInterface> interfaces_;
  std::vector<HidInterface> snapshot_;  // the set being enumerated
  std::uint32_t selected_ = 0;
  std::vector<std::string> calls_;
  std::map<Handle, OpenFile> files_;  // open device handles
  std::set<Handle> events_;
  std::uintptr_t nextHandle_ = 0x100;
  std::deque<ScriptedRead> scripted_;
  std::map<OverlappedReport*, Read> reads_;  // transfers not yet collected
  std::size_t writesStarted_ = 0;
  std::size_t writesBeforeScript_ = 0;
  ScriptedWrite writeScript_;
  std::vector<Read> abandoned_;
  std::vector<std::vector<std::uint8_t>> writes_;
  std::vector<std::string> faults_;
};

// The platform with one simulated pad plugged in (boot mode until it has finished an update,
// then run mode), beside Wine's own virtual mouse and keyboard.
class SimulatedPadPlatform final : public ScriptedHidPlatform {
 public:
  explicit SimulatedPadPlatform(SimulatedPad& pad);
  void setPadPlugged(bool plugged);  // the pad's cable, for a pad that was never gone
  void setPadReportLengths(std::uint16_t input, std::uint16_t output);
  IoState ReadFile(Handle device, OverlappedRead& read, Handle event) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;

 private:
  std::vector<HidInterface> presentInterfaces() override;
  bool deliverWrite(std::span<const std::uint8_t> report) override;
  SimulatedPad& pad_;
  bool plugged_ = true;
  std::uint16_t inputLength_ = 65;
  std::uint16_t outputLength_ = 65;
};

}  // namespace morvik::win::fake
