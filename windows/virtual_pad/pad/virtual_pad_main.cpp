// The pad program: answers for the virtual pad with the simulated pad. Reports the host writes
// reach it through the driver's channel; the simulated pad's answers go back the same way.
// It writes a trace of every report, and the header and payload of each update the pad received.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/device_node.h"
#include "host/pad_channel.h"
#include "morvik/pad_options.h"
#include "morvik/protocol.h"
#include "morvik/report_trace.h"
#include "pad/pad_program.h"

namespace morvik::vpad {
namespace {

using Clock = std::chrono::steady_clock;
static_assert(kHidReportLength == VPAD_HID_REPORT_LENGTH);

bool isUpdateCommand(std::span<const std::uint8_t> report, std::uint8_t command) {
  return report[0] >= 5 && report[1] == 0x00 && report[2] == kMsgUpdate && report[5] == command;
}

class PadProgram {
 public:
  explicit PadProgram(PadOptions options) : m_options(std::move(options)), m_pad(m_options.behaviour) {
    m_pad.SetReadTimeout(100);
    m_pad.recordReports(false);  // the trace keeps them
  }

  int run() {
    m_stop = CreateEventW(nullptr, TRUE, FALSE, kStopEventName);
    if (!m_stop) return fail("cannot create the stop event");
    if (std::string failure = startDriver(); !failure.empty()) return fail(failure);
    // The driver may still be loading.
    std::string failure;
    for (int tries = 0; tries < 300; ++tries) {  // 30 s: a first start after installing is slow
      failure = m_channel.attach(VpadAttach{m_options.reportLengths.input, m_options.reportLengths.output});
      if (failure.empty()) break;
      Sleep(100);
    }
    if (!failure.empty()) return fail(failure);
    // Lines end in \n alone, as morvik-update writes them.
    if (!m_options.tracePath.empty()) m_trace.open(m_options.tracePath, std::ios::trunc | std::ios::binary);
    if (!m_options.readyPath.empty()) std::ofstream(m_options.readyPath) << "ready\n";

    std::thread taker([this] { takeReports(); });
    std::thread answerer([this] { answerReports(); });
    WaitForSingleObject(m_stop, INFINITE);
    taker.join();
    answerer.join();
    saveReceived();
    saveStats();
    CloseHandle(m_stop);
    return 0;
  }

 private:
  int fail(const std::string& what) {
    std::fprintf(stderr, "virtual_pad: %s\n", what.c_str());
    return 1;
  }

  void trace(std::string_view direction, std::span<const std::uint8_t> report) {
    if (!m_trace.is_open()) return;
    const std::lock_guard lock(m_traceMutex);
    m_trace << traceLine(direction, report) << '\n' << std::flush;
  }

  // Writes the driver refused or held never reach the pad; the trace names them all the same,
  // so that what the host sent after a fault can be counted.
  void takeReports() {
    VpadOutput output{};
    bool holding = false;
    bool unplugged = false;
    std::uint32_t finishesSaved = 0;
    while (m_channel.takeOutput(output, m_stop)) {
      const std::span<const std::uint8_t, VPAD_REPORT_BYTES> report(output.report);
      if (output.fate != VPAD_WRITE_TAKEN) {
        trace(output.fate == VPAD_WRITE_HELD ? "held" : "refused", report);
        continue;
      }
      trace("out", report);
      const auto now = Clock::now();
      if (isUpdateCommand(report, kCmdHeader)) {
        m_streamStart = now;
      }
      m_pad.writeReport(report);
      const auto received = m_pad.received();
      if (m_options.stallAfterDataFrames && !holding && received.dataFrames >= *m_options.stallAfterDataFrames) {
        holding = m_channel.holdWrites(m_options.stallHoldMs);
      }
      if (m_pad.gone() && !unplugged) {
        unplugged = true;
        if (std::string failure = unplugPad(); !failure.empty()) fail(failure);
      }
      if (received.finishes > finishesSaved) {  // each update's image, as soon as it is whole
        finishesSaved = received.finishes;
        m_streamEnd = now;
        saveReceived();
        saveStats();
      }
    }
    if (WaitForSingleObject(m_stop, 0) != WAIT_OBJECT_0) fail("the driver's channel failed: no more reports are taken");
  }

  void answerReports() {
    std::array<std::uint8_t, kReportSize> report{};
    while (WaitForSingleObject(m_stop, 0) != WAIT_OBJECT_0) {
      std::size_t length = 0;
      switch (m_pad.readReport(report, length)) {
        case ReadStatus::Report:
          trace("in", std::span<const std::uint8_t>(report.data(), std::min(length, report.size())));
          m_channel.putInput(report);
          break;
        case ReadStatus::NoReport: break;
        case ReadStatus::Failed: WaitForSingleObject(m_stop, 100); break;  // the pad is gone
      }
    }
  }

  void saveReceived() {
    const auto received = m_pad.received();
    if (!m_options.receivedPath.empty()) {
      std::ofstream file(m_options.receivedPath, std::ios::binary | std::ios::trunc);
      if (received.header) {
        const auto header = received.header->encode();
        file.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
      }
      file.write(reinterpret_cast<const char*>(received.payload.data()),
                 static_cast<std::streamsize>(received.payload.size()));
    }
  }

  // The last update's stream, and what the driver lost to full queues so far (unknown: -1).
  void saveStats() {
    if (m_options.statsPath.empty()) return;
    std::ofstream stats(m_options.statsPath, std::ios::trunc);
    const auto received = m_pad.received();
    if (received.finishes > 0) {
      const auto ms = std::chrono::duration<double, std::milli>(m_streamEnd - m_streamStart).count();
      stats << "stream_ms " << ms << "\ndata_frames " << received.dataFrames << "\nround_trips "
            << received.dataFrames + 1 << "\n";
    }
    const auto drops = m_channel.drops();
    stats << "outputs_dropped " << (drops ? static_cast<long>(drops->outputs) : -1L) << "\ninputs_dropped "
          << (drops ? static_cast<long>(drops->inputs) : -1L) << "\n";
  }

  PadOptions m_options;
  SimulatedPad m_pad;
  PadChannel m_channel;
  HANDLE m_stop = nullptr;
  std::mutex m_traceMutex;
  std::ofstream m_trace;
  Clock::time_point m_streamStart{};
  Clock::time_point m_streamEnd{};
};

}  // namespace
}  // namespace morvik::vpad

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto options = morvik::parsePadOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "virtual_pad: %s\n%s", error.c_str(), morvik::kPadUsage);
    return 2;
  }
  morvik::vpad::PadProgram program(std::move(*options));
  return program.run();
}
