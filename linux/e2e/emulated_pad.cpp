#include "emulated_pad.h"

#include <linux/hidraw.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "morvik/protocol.h"
#include "morvik/report_trace.h"

namespace morvik::e2e {
namespace {

using Clock = std::chrono::steady_clock;

bool isUpdateCommand(std::span<const std::uint8_t, kReportSize> report, std::uint8_t command) {
  return report[0] >= 5 && report[1] == 0x00 && report[2] == kMsgUpdate && report[5] == command;
}

// Copies `bytes` into the ioctl's argument (resolved to `size` bytes) and completes it with `result`.
void completeWith(UMockdevIoctlClient* client, std::size_t size, std::span<const std::uint8_t> bytes, long result) {
  UMockdevIoctlData* out = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, size, nullptr);
  if (!out) {
    umockdev_ioctl_client_complete(client, -1, EFAULT);
    return;
  }
  std::memcpy(out->data, bytes.data(), std::min(bytes.size(), size));
  g_object_unref(out);
  umockdev_ioctl_client_complete(client, result, 0);
}

std::span<const std::uint8_t> bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.c_str()), text.size() + 1};
}

}  // namespace

EmulatedPad::EmulatedPad(UMockdevTestbed* testbed, unsigned index, PadSetup setup)
    : testbed_(testbed),
      setup_(std::move(setup)),
      sysfs_(padSysfs(index, setup_.productId, setup_.serial)),
      pad_(setup_.options.behaviour) {
  pad_.SetReadTimeout(50);
  // Lines end in \n alone, as morvik-update --trace writes them.
  if (!setup_.options.tracePath.empty()) trace_.open(setup_.options.tracePath, std::ios::trunc | std::ios::binary);
  answerer_ = std::thread([this] { collectAnswers(); });
}

EmulatedPad::~EmulatedPad() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopping_.notify_all();
  answerer_.join();
  saveReceived();
  if (handler_) g_object_unref(handler_);
}

bool EmulatedPad::plug() {
  handler_ = umockdev_ioctl_base_new();
  g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
  g_signal_connect(handler_, "handle-read", G_CALLBACK(onRead), this);
  g_signal_connect(handler_, "handle-write", G_CALLBACK(onWrite), this);
  GError* error = nullptr;
  // Attached first, so that a program that finds the node at once finds it answered.
  if (!umockdev_testbed_attach_ioctl(testbed_, sysfs_.devnode.c_str(), handler_, &error) ||
      !umockdev_testbed_add_from_string(testbed_, sysfs_.description.c_str(), &error)) {
    std::fprintf(stderr, "morvik-e2e-pads: cannot add %s: %s\n", sysfs_.devnode.c_str(), error->message);
    g_error_free(error);
    return false;
  }
  std::lock_guard lock(mutex_);
  tokenFd_ = umockdev_testbed_get_dev_fd(testbed_, sysfs_.devnode.c_str());
  plugged_ = true;
  return true;
}

void EmulatedPad::unplug() {
  {
    std::lock_guard lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
    // A handle still open on a pulled-out hidraw node polls readable (the kernel's POLLERR |
    // POLLHUP) and then fails to read; here a token that stays makes it readable for good.
    if (!tokenSet_ && write(tokenFd_, "t", 1) == 1) tokenSet_ = true;
  }
  for (const std::string& devpath : sysfs_.devpaths) umockdev_testbed_remove_device(testbed_, devpath.c_str());
}

bool EmulatedPad::plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

bool EmulatedPad::leaving() const { return pad_.gone() && plugged(); }

gboolean EmulatedPad::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<EmulatedPad*>(self)->answerIoctl(client);
  return TRUE;
}

gboolean EmulatedPad::onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<EmulatedPad*>(self)->deliverAnswer(client);
  return TRUE;
}

gboolean EmulatedPad::onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
  static_cast<EmulatedPad*>(self)->takeReport(client);
  return TRUE;
}

// The hidraw ioctls hidapi and the programs ask: descriptor, bus and ids, name, place, serial.
void EmulatedPad::answerIoctl(UMockdevIoctlClient* client) {
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  const std::size_t size = _IOC_SIZE(request);
  const std::vector<std::uint8_t>& descriptor = padReportDescriptor();
  if (_IOC_TYPE(request) != 'H') {
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
  } else if (request == HIDIOCGRDESCSIZE) {
    const int length = static_cast<int>(descriptor.size());
    completeWith(client, size, {reinterpret_cast<const std::uint8_t*>(&length), sizeof length}, 0);
  } else if (request == HIDIOCGRDESC) {
    hidraw_report_descriptor answer{};
    answer.size = static_cast<std::uint32_t>(descriptor.size());
    std::copy(descriptor.begin(), descriptor.end(), answer.value);
    completeWith(client, size, {reinterpret_cast<const std::uint8_t*>(&answer), sizeof answer}, 0);
  } else if (request == HIDIOCGRAWINFO) {
    const hidraw_devinfo info{BUS_USB, 0x0483, static_cast<std::int16_t>(setup_.productId)};
    completeWith(client, size, {reinterpret_cast<const std::uint8_t*>(&info), sizeof info}, 0);
  } else if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWNAME(0))) {
    completeWith(client, size, bytesOf("Morvik GamePad"), 15);
  } else if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWPHYS(0))) {
    completeWith(client, size, bytesOf("usb-0000:00:14.0-1/input0"), 26);
  } else if (_IOC_NR(request) == _IOC_NR(HIDIOCGRAWUNIQ(0))) {
    completeWith(client, size, bytesOf(setup_.serial), static_cast<long>(setup_.serial.size() + 1));
  } else {
    umockdev_ioctl_client_complete(client, -1, EINVAL);
  }
}

void EmulatedPad::takeReport(UMockdevIoctlClient* client) {
  const UMockdevIoctlData* data = umockdev_ioctl_client_get_arg(client);
  const auto length = static_cast<std::size_t>(data->data_len);
  // hidapi puts the report ID (0: the pad numbers no reports) before the 64 report bytes.
  std::array<std::uint8_t, kReportSize> report{};
  if (length > 0) std::copy_n(data->data + 1, std::min(length - 1, kReportSize), report.begin());
  if (!plugged() || pad_.writeReport(report) != kLinkOk) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);  // as hidraw answers once the pad is gone
    return;
  }
  trace("out", report);
  const auto now = Clock::now();
  {
    std::lock_guard lock(mutex_);
    if (isUpdateCommand(report, kCmdHeader)) {
      streamStart_ = now;
      dataFrameTimes_.clear();
      dataFrameTimes_.reserve(4096);
    }
    if (isUpdateCommand(report, kCmdData) && !setup_.options.statsPath.empty()) dataFrameTimes_.push_back(now);
    if (isUpdateCommand(report, kCmdFinish) && streamEnd_ == Clock::time_point{}) streamEnd_ = now;
  }
  if (pad_.finished()) saveReceived();
  umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
}

void EmulatedPad::deliverAnswer(UMockdevIoctlClient* client) {
  std::unique_lock lock(mutex_);
  if (!plugged_) {
    lock.unlock();
    umockdev_ioctl_client_complete(client, -1, EIO);  // as hidraw answers once the pad is gone
    return;
  }
  if (answers_.empty()) {
    lock.unlock();
    umockdev_ioctl_client_complete(client, -1, EAGAIN);  // hidapi: no report yet
    return;
  }
  const PadReport answer = answers_.front();
  answers_.pop_front();
  if (answers_.empty() && tokenSet_) {
    // The program's own read takes the token out of the pty; held under the lock, so that no
    // new token can arrive in between and be taken with it.
    int error = 0;
    umockdev_ioctl_client_execute(client, &error, nullptr);
    tokenSet_ = false;
  }
  lock.unlock();
  const UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
  const std::size_t length = std::min({answer.length, kReportSize, static_cast<std::size_t>(buffer->data_len)});
  std::copy_n(answer.bytes.begin(), length, buffer->data);
  trace("in", std::span<const std::uint8_t>(answer.bytes.data(), length));
  umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
}

// Moves each answer of the simulated pad, when it falls due, to the node's queue.
void EmulatedPad::collectAnswers() {
  std::array<std::uint8_t, kReportSize> report{};
  for (;;) {
    std::size_t length = 0;
    const ReadStatus status = pad_.readReport(report, length);
    std::unique_lock lock(mutex_);
    if (stop_) return;
    if (status == ReadStatus::Failed) {
      stopping_.wait_for(lock, std::chrono::milliseconds(50));  // the pad has gone
    } else if (status == ReadStatus::Report) {
      PadReport answer;
      answer.bytes = report;
      answer.length = length;
      answers_.push_back(answer);
      if (plugged_ && !tokenSet_ && write(tokenFd_, "t", 1) == 1) tokenSet_ = true;
    }
  }
}

void EmulatedPad::trace(std::string_view direction, std::span<const std::uint8_t> report) {
  std::lock_guard lock(mutex_);
  if (trace_.is_open()) trace_ << traceLine(direction, report) << '\n' << std::flush;
}

void EmulatedPad::saveReceived() {
  std::lock_guard lock(mutex_);
  if (saved_) return;
  saved_ = true;
  const SimulatedPad::Received received = pad_.received();
  if (!setup_.options.receivedPath.empty()) {
    std::ofstream file(setup_.options.receivedPath, std::ios::binary | std::ios::trunc);
    if (received.header) {
      const auto header = received.header->encode();
      file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    }
    file.write(reinterpret_cast<const char*>(received.payload.data()),
               static_cast<std::streamsize>(received.payload.size()));
  }
  if (!setup_.options.statsPath.empty() && received.finishes > 0) {
    const auto ms = std::chrono::duration<double, std::milli>(streamEnd_ - streamStart_).count();
    std::ofstream stats(setup_.options.statsPath, std::ios::trunc);
    stats << "stream_ms " << ms << "\ndata_frames " << received.dataFrames << "\nround_trips "
          << received.dataFrames + 1 << "\n";
    std::vector<double> gaps;
    for (std::size_t i = 1; i < dataFrameTimes_.size(); ++i)
      gaps.push_back(std::chrono::duration<double, std::micro>(dataFrameTimes_[i] - dataFrameTimes_[i - 1]).count());
    std::sort(gaps.begin(), gaps.end());
    for (const int percent : {50, 90, 99})
      if (!gaps.empty())
        stats << "round_trip_p" << percent << "_us " << gaps[gaps.size() * static_cast<std::size_t>(percent) / 100]
              << "\n";
  }
}

}  // namespace morvik::e2e
