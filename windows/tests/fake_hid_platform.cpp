#include "tests/fake_hid_platform.h"

#include <algorithm>

namespace morvik::win::fake {
namespace {

constexpr std::uint32_t kDetailFixedPart = 8;  // the record's size field, before the path
const auto kDeviceSet = reinterpret_cast<DeviceSet>(std::uintptr_t{0x5E7});
const auto kRegistration = reinterpret_cast<NotifyHandle>(std::uintptr_t{0xD0C});

std::string handleName(Handle h) { return std::to_string(reinterpret_cast<std::uintptr_t>(h)); }

}  // namespace

void ScriptedHidPlatform::setInterfaces(std::vector<HidInterface> interfaces) {
  std::lock_guard lock(mutex_);
  interfaces_ = std::move(interfaces);
}

void ScriptedHidPlatform::queueRead(ScriptedRead read) {
  std::lock_guard lock(mutex_);
  scripted_.push_back(std::move(read));
}

void ScriptedHidPlatform::scriptWrites(ScriptedWrite script, std::size_t after) {
  std::lock_guard lock(mutex_);
  writeScript_ = script;
  writesBeforeScript_ = writesStarted_ + after;
}

std::vector<std::string> ScriptedHidPlatform::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> ScriptedHidPlatform::callsNamed(const std::string& prefix) const {
  std::vector<std::string> named;
  for (const auto& call : calls())
    if (call.rfind(prefix, 0) == 0) named.push_back(call);
  return named;
}

std::size_t ScriptedHidPlatform::openHandleCount() const {
  std::lock_guard lock(mutex_);
  return files_.size() + events_.size();
}

std::vector<std::vector<std::uint8_t>> ScriptedHidPlatform::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

std::vector<std::string> ScriptedHidPlatform::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void ScriptedHidPlatform::completeAbandonedReads() {
  std::lock_guard lock(mutex_);
  for (auto& read : abandoned_) read.record->report.fill(0xAB);
  abandoned_.clear();
}

void ScriptedHidPlatform::log(std::string call) { calls_.push_back(std::move(call)); }

std::vector<HidInterface> ScriptedHidPlatform::presentInterfaces() { return interfaces_; }

bool ScriptedHidPlatform::deliverWrite(std::span<const std::uint8_t>) { return true; }

std::string ScriptedHidPlatform::pathOf(Handle device) {
  const auto found = files_.find(device);
  return found == files_.end() ? std::string{} : found->second.path;
}

const HidInterface* ScriptedHidPlatform::interfaceOf(Handle device) {
  const std::string path = pathOf(device);
  for (const auto& i : snapshot_)
    if (i.path == path) return &i;
  return nullptr;
}

DeviceSet ScriptedHidPlatform::GetHidInterfaces() {
  std::lock_guard lock(mutex_);
  log("GetHidInterfaces");
  snapshot_ = presentInterfaces();
  return kDeviceSet;
}

bool ScriptedHidPlatform::EnumDeviceInterface(DeviceSet, std::uint32_t index) {
  std::lock_guard lock(mutex_);
  log("Enum " + std::to_string(index));
  selected_ = index;
  return index < snapshot_.size();
}

bool ScriptedHidPlatform::GetInterfaceDetail(DeviceSet, std::span<std::byte> buffer, std::uint32_t& requiredSize,
                                             std::string& path) {
  std::lock_guard lock(mutex_);
  const HidInterface& i = snapshot_.at(selected_);
  log("Detail " + std::to_string(selected_) + " buffer " + std::to_string(buffer.size()));
  requiredSize = kDetailFixedPart + static_cast<std::uint32_t>(i.path.size()) + 1;
  if (buffer.size() < requiredSize || i.detailAlwaysFails) return false;
  path = i.path;
  return true;
}

void ScriptedHidPlatform::DestroyDeviceInfoList(DeviceSet) {
  std::lock_guard lock(mutex_);
  log("DestroyDeviceInfoList");
}

Handle ScriptedHidPlatform::CreateFile(const std::string& path, FileAccess access, bool overlapped) {
  std::lock_guard lock(mutex_);
  static constexpr const char* kAccess[] = {"read", "write", "readwrite"};
  log("CreateFile " + path + " " + kAccess[static_cast<int>(access)] + (overlapped ? " overlapped" : ""));
  const auto present = presentInterfaces();
  const auto found = std::find_if(present.begin(), present.end(), [&](const auto& i) { return i.path == path; });
  if (found == present.end() || !found->opens) return invalidHandle();
  const auto handle = reinterpret_cast<Handle>(nextHandle_++);
  files_[handle] = OpenFile{path, access, overlapped};
  return handle;
}

bool ScriptedHidPlatform::GetAttributes(Handle device, std::uint16_t& vendorId, std::uint16_t& productId) {
  std::lock_guard lock(mutex_);
  const HidInterface* i = interfaceOf(device);
  if (!i) return false;
  vendorId = i->vendorId;
  productId = i->productId;
  return true;
}

bool ScriptedHidPlatform::GetReportLengths(Handle device, std::uint16_t& inputLength, std::uint16_t& outputLength) {
  std::lock_guard lock(mutex_);
  const HidInterface* i = interfaceOf(device);
  if (!i) return false;
  inputLength = i->inputReportLength;
  outputLength = i->outputReportLength;
  return true;
}

bool ScriptedHidPlatform::CloseHandle(Handle handle) {
  std::lock_guard lock(mutex_);
  log("CloseHandle " + handleName(handle));
  if (files_.erase(handle) > 0) return true;
  if (events_.erase(handle) > 0) {
    for (const auto& [record, read] : reads_)
      if (read.event == handle && read.state == IoState::Pending) faults_.push_back("event closed during its transfer");
    std::erase_if(reads_, [&](const auto& entry) { return entry.second.event == handle; });
    return true;
  }
  faults_.push_back("CloseHandle of a handle that is not open");
  return false;
}

// The device's interface as present now: a pad pulled out fails every transfer.
bool ScriptedHidPlatform::transferMayStart(Handle device, const OverlappedReport& record, bool write) {
  const auto file = files_.find(device);
  if (file == files_.end()) return false;
  const auto present = presentInterfaces();
  const auto i =
      std::find_if(present.begin(), present.end(), [&](const auto& p) { return p.path == file->second.path; });
  if (i == present.end()) return false;
  if (!file->second.overlapped) faults_.push_back("overlapped transfer on a handle opened without overlapped");
  const auto inFlight = reads_.find(const_cast<OverlappedReport*>(&record));
  if (inFlight != reads_.end() && inFlight->second.state == IoState::Pending)
    faults_.push_back("transfer record reused while in flight");
  if (file->second.access == (write ? FileAccess::Read : FileAccess::Write)) return false;  // access denied
  // ERROR_INVALID_PARAMETER: the buffer is not one report of the device.
  return record.report.size() == (write ? i->outputReportLength : i->inputReportLength);
}

// A transfer ends as `state`; a write that completes reaches the device, which may refuse it.
void ScriptedHidPlatform::settle(Read& transfer, IoState state) {
  transfer.state = state;
  if (!transfer.write || state != IoState::Done) return;
  const auto& bytes = transfer.record->report;
  if (transfer.script.transferred < bytes.size()) return;
  writes_.emplace_back(bytes.begin(), bytes.end());
  if (!deliverWrite(bytes)) transfer.state = IoState::Failed;
}

IoState ScriptedHidPlatform::WriteFile(Handle device, OverlappedWrite& record, Handle event) {
  std::lock_guard lock(mutex_);
  log("WriteFile " + std::to_string(record.report.size()));
  if (!transferMayStart(device, record, true)) return IoState::Failed;
  const ScriptedWrite script = writesStarted_++ < writesBeforeScript_ ? ScriptedWrite{} : writeScript_;
  if (script.start == IoState::Failed) return IoState::Failed;
  Read write{&record, event, ScriptedRead{}, IoState::Pending, device, std::this_thread::get_id(), true};
  write.script.wait = script.wait;
  write.script.completion = script.completion;
  write.script.afterCancel = script.afterCancel;
  write.script.transferred = std::min(script.transferred, static_cast<std::uint32_t>(record.report.size()));
  if (script.start == IoState::Done) settle(write, IoState::Done);
  reads_[&record] = write;
  return write.state == IoState::Failed ? IoState::Failed : script.start;
}

Handle ScriptedHidPlatform::CreateEvent() {
  std::lock_guard lock(mutex_);
  log("CreateEvent");
  const auto handle = reinterpret_cast<Handle>(nextHandle_++);
  events_.insert(handle);
  return handle;
}

IoState ScriptedHidPlatform::ReadFile(Handle device, OverlappedRead& record, Handle event) {
  std::lock_guard lock(mutex_);
  log("ReadFile");
  if (!transferMayStart(device, record, false) || scripted_.empty()) return IoState::Failed;
  Read read{&record, event, scripted_.front(), IoState::Pending, device};
  scripted_.pop_front();
  if (read.script.start == IoState::Failed) return IoState::Failed;
  if (read.script.start == IoState::Done) read.state = IoState::Done;
  std::copy(read.script.report.begin(), read.script.report.end(), record.report.begin());
  reads_[&record] = read;
  return read.script.start;
}

std::uint32_t ScriptedHidPlatform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  log("Wait " + std::to_string(milliseconds));
  for (auto& [record, read] : reads_) {
    if (read.event != object) continue;
    if (read.state != IoState::Pending) return kWaitObject0;  // ended (or cancelled) already
    if (read.script.wait == kWaitObject0) settle(read, read.script.completion);
    return read.script.wait;
  }
  return kWaitFailed;
}

void ScriptedHidPlatform::CancelIo(Handle device) {
  std::lock_guard lock(mutex_);
  log("CancelIo");
  for (auto& [record, read] : reads_)
    if (read.state == IoState::Pending && read.device == device && read.thread == std::this_thread::get_id())
      settle(read, read.script.afterCancel);
}

IoState ScriptedHidPlatform::GetOverlappedResult(Handle device, OverlappedReport& record, std::uint32_t& transferred) {
  std::lock_guard lock(mutex_);
  log("GetOverlappedResult");
  const auto found = reads_.find(&record);
  if (found == reads_.end()) return IoState::Failed;
  if (found->second.device != device) faults_.push_back("result asked of another handle than the transfer's");
  const Read read = found->second;
  if (read.state == IoState::Pending) {
    abandoned_.push_back(read);
    reads_.erase(found);
    return IoState::Pending;
  }
  if (read.state == IoState::Done) transferred = read.script.transferred;
  return read.state;
}

NotifyHandle ScriptedHidPlatform::RegisterDeviceNotification(NotifyWindow window) {
  std::lock_guard lock(mutex_);
  log("RegisterDeviceNotification " + std::to_string(reinterpret_cast<std::uintptr_t>(window)));
  return kRegistration;
}

void ScriptedHidPlatform::UnregisterDeviceNotification(NotifyHandle) {
  std::lock_guard lock(mutex_);
  log("UnregisterDeviceNotification");
}

// ---------------------------------------------------------------- the simulated pad

SimulatedPadPlatform::SimulatedPadPlatform(SimulatedPad& pad) : pad_(pad) {
  // Wine's own virtual HID devices, which the search must pass over.
  setInterfaces({{"\\\\?\\hid#vid_845e&pid_0001#mouse", 0x845E, 0x0001},
                 {"\\\\?\\hid#vid_845e&pid_0002#keyboard", 0x845E, 0x0002}});
}

void SimulatedPadPlatform::setPadPlugged(bool plugged) {
  std::lock_guard lock(mutex_);
  plugged_ = plugged;
}

void SimulatedPadPlatform::setPadReportLengths(std::uint16_t input, std::uint16_t output) {
  std::lock_guard lock(mutex_);
  inputLength_ = input;
  outputLength_ = output;
}

std::vector<HidInterface> SimulatedPadPlatform::presentInterfaces() {
  std::vector<HidInterface> present = interfaces_;
  // The pad restarts in run mode once it has finished an update.
  if (plugged_ && !pad_.gone())
    present.push_back({"\\\\?\\hid#vid_0483&pid_5750#pad-with-a-longer-path-than-the-others", 0x0483,
                       static_cast<std::uint16_t>(pad_.finished() ? 0x5751 : 0x5750), true, false, inputLength_,
                       outputLength_});
  return present;
}

bool SimulatedPadPlatform::deliverWrite(std::span<const std::uint8_t> report) {
  return pad_.writeReport(OutputReport(report.subspan(1).first<kReportSize>())) == kLinkOk;
}

IoState SimulatedPadPlatform::ReadFile(Handle device, OverlappedRead& record, Handle event) {
  std::lock_guard lock(mutex_);
  log("ReadFile");
  if (!transferMayStart(device, record, false)) return IoState::Failed;
  reads_[&record] = Read{&record, event, {}, IoState::Pending, device};
  return IoState::Pending;
}

// The wait is where the pad is read: a report completes the read, a broken link fails it.
// Writes go as scripted.
std::uint32_t SimulatedPadPlatform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  OverlappedRead* record = nullptr;
  bool write = false;
  {
    std::lock_guard lock(mutex_);
    for (auto& [r, transfer] : reads_)
      if (transfer.event == object) {
        if (transfer.state != IoState::Pending) return kWaitObject0;
        record = r;
        write = transfer.write;
      }
  }
  if (!record || write) return ScriptedHidPlatform::WaitForSingleObject(object, milliseconds);
  pad_.SetReadTimeout(milliseconds);
  std::size_t length = 0;
  const ReadStatus status =
      pad_.readReport(std::span<std::uint8_t, kReportSize>(record->report.data() + 1, kReportSize), length);
  std::lock_guard lock(mutex_);
  Read& read = reads_.at(record);
  if (status == ReadStatus::NoReport) return kWaitTimeout;
  read.state = status == ReadStatus::Report ? IoState::Done : IoState::Failed;
  read.script.transferred = static_cast<std::uint32_t>(length + 1);
  return kWaitObject0;
}

}  // namespace morvik::win::fake
