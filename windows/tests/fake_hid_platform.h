// Stand-ins for the platform's HID services: a scripted one that plays back read outcomes
// and keeps a log of every call, and one whose pad is the simulated pad.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "hid/hid_platform.h"
#include "morvik/simulated_pad.h"

namespace morvik::win::fake {

struct HidInterface {
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool opens = true;              // false: held exclusively by another program
  bool detailAlwaysFails = false;  // the detail call fails whatever the buffer
};

// How one overlapped read goes.
struct ScriptedRead {
  IoState start = IoState::Pending;
  std::uint32_t wait = kWaitObject0;
  IoState completion = IoState::Done;   // what the read ends with when the wait saw it end
  std::uint32_t transferred = 65;
  std::vector<std::uint8_t> report;     // from byte 0 (the report id)
  // How a cancelled read ends: cancelled (Failed), with the report that came just then (Done),
  // or never (Pending).
  IoState afterCancel = IoState::Failed;
};

class ScriptedHidPlatform : public HidPlatform {
 public:
  void setInterfaces(std::vector<HidInterface> interfaces);
  void queueRead(ScriptedRead read);
  std::vector<std::string> calls() const;
  std::vector<std::string> callsNamed(const std::string& prefix) const;
  std::size_t openHandleCount() const;
  std::vector<std::vector<std::uint8_t>> writes() const;
  // Problems the platform would not survive: a handle closed twice, an event or a read record
  // released while its read was still in flight.
  std::vector<std::string> faults() const;
  // Lets every read that never completed write into its buffer now, as a late completion would.
  void completeAbandonedReads();

  DeviceSet GetHidInterfaces() override;
  bool EnumDeviceInterface(DeviceSet set, std::uint32_t index) override;
  bool GetInterfaceDetail(DeviceSet set, std::span<std::byte> buffer, std::uint32_t& requiredSize,
                          std::string& path) override;
  void DestroyDeviceInfoList(DeviceSet set) override;
  Handle CreateFile(const std::string& path, FileAccess access, bool overlapped) override;
  bool GetAttributes(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) override;
  bool CloseHandle(Handle handle) override;
  bool WriteFile(Handle device, std::span<const std::uint8_t> bytes) override;
  Handle CreateEvent() override;
  IoState ReadFile(Handle device, OverlappedRead& read, Handle event) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  void CancelIo(Handle device) override;
  IoState GetOverlappedResult(Handle device, OverlappedRead& read, std::uint32_t& transferred) override;
  NotifyHandle RegisterDeviceNotification(NotifyWindow window) override;
  void UnregisterDeviceNotification(NotifyHandle registration) override;

 protected:
  struct Read {
    OverlappedRead* record = nullptr;
    Handle event = nullptr;
    ScriptedRead script;
    IoState state = IoState::Pending;
  };
  virtual std::vector<HidInterface> presentInterfaces();
  void log(std::string call);
  std::string pathOf(Handle device);
  const HidInterface* interfaceOf(Handle device);

  mutable std::mutex mutex_;
  std::vector<HidInterface> interfaces_;
  std::vector<HidInterface> snapshot_;  // the set being enumerated
  std::uint32_t selected_ = 0;
  std::vector<std::string> calls_;
  std::map<Handle, std::string> files_;  // open device handles and their paths
  std::set<Handle> events_;
  std::uintptr_t nextHandle_ = 0x100;
  std::deque<ScriptedRead> scripted_;
  std::map<OverlappedRead*, Read> reads_;  // reads not yet collected
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
  bool WriteFile(Handle device, std::span<const std::uint8_t> bytes) override;
  IoState ReadFile(Handle device, OverlappedRead& read, Handle event) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  void CancelIo(Handle device) override;

 private:
  std::vector<HidInterface> presentInterfaces() override;
  SimulatedPad& pad_;
  bool plugged_ = true;
};

}  // namespace morvik::win::fake
