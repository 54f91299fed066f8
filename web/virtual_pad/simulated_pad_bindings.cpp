// The simulated pad in WebAssembly, for the page's tests and measurements: simulated-hid.js puts
// it behind navigator.hid so that the page meets the same pad as the other programs. Never part
// of the site.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <chrono>
#include <memory>
#include <utility>
#include <variant>

#include "morvik/replay_pad.h"
#include "morvik/report_trace.h"
#include "morvik/simulated_pad.h"

namespace morvik::web {
namespace {

using emscripten::val;

std::optional<std::uint32_t> optionalCount(const val& behaviour, const char* field) {
  const val value = behaviour[field];
  if (value.isUndefined() || value.isNull()) return std::nullopt;
  return value.as<std::uint32_t>();
}

PadBehaviour behaviourFrom(const val& given) {
  PadBehaviour behaviour;
  if (const auto version = optionalCount(given, "version")) behaviour.version = *version;
  if (const auto bootFlag = optionalCount(given, "bootFlag")) behaviour.bootFlag = *bootFlag;
  if (const auto latency = optionalCount(given, "latencyUs")) behaviour.latency = std::chrono::microseconds(*latency);
  if (const auto frame = optionalCount(given, "usbFrameUs")) behaviour.usbFrame = std::chrono::microseconds(*frame);
  if (const auto delay = optionalCount(given, "headerAnswerDelayMs"))
    behaviour.headerAnswerDelay = std::chrono::milliseconds(*delay);
  behaviour.failAfterDataFrames = optionalCount(given, "failAfter");
  behaviour.silentAfterDataFrames = optionalCount(given, "silentAfter");
  behaviour.vanishAfterDataFrames = optionalCount(given, "vanishAfter");
  behaviour.strayDeviceInfoAfterDataFrames = optionalCount(given, "strayInfoAfter");
  if (const auto flag = optionalCount(given, "strayInfoFlag")) behaviour.strayBootFlag = *flag;
  return behaviour;
}

// A recorded session to replay (`replay`: a trace file's text), or null when there is none or it
// is no trace.
std::unique_ptr<ReplayPad> replayFrom(const val& given) {
  const val text = given["replay"];
  if (!text.isString()) return nullptr;
  auto read = readTrace(text.as<std::string>());
  if (!std::holds_alternative<RecordedTrace>(read)) return nullptr;
  auto pad = std::make_unique<ReplayPad>(std::move(std::get<RecordedTrace>(read)));
  pad->OpenReadWrite();  // the recording's clock starts as the page opens the pad
  return pad;
}

class SimulatedPadHandle {
 public:
  explicit SimulatedPadHandle(const val& behaviour)
      : behaviour_(behaviourFrom(behaviour)), pad_(behaviour_), replay_(replayFrom(behaviour)) {}

  // One output report as the page handed it to sendReport; only whole 64-byte reports are
  // taken, as a HID device with 64-byte reports takes them.
  bool write(const val& data) {
    const auto bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(data);
    if (bytes.size() != kReportSize) return false;
    if (replay_)
      return replay_->writeReport(std::span<const std::uint8_t, kReportSize>(bytes.data(), kReportSize)) == kLinkOk;
    return pad_.writeReport(std::span<const std::uint8_t, kReportSize>(bytes.data(), kReportSize)) == kLinkOk;
  }

  // The next answer that is due, as a Uint8Array of 64 bytes, or null.
  val takeDue() {
    const auto report = replay_ ? replay_->takeDueReport() : pad_.takeDueReport();
    if (!report) return val::null();
    return val::global("Uint8Array").new_(val(emscripten::typed_memory_view(report->length, report->bytes.data())));
  }

  // Milliseconds until the next answer falls due (0 when one is due), or -1 when none is queued.
  double msUntilDue() const {
    const auto due = replay_ ? replay_->nextDueTime() : pad_.nextDueTime();
    if (!due) return -1;
    const auto left = std::chrono::duration<double, std::milli>(*due - std::chrono::steady_clock::now()).count();
    return left > 0 ? left : 0;
  }

  val received() const {
    const SimulatedPad::Received got = replay_ ? replay_->received() : pad_.received();
    val result = val::object();
    if (got.header) {
      val header = val::object();
      header.set("version", got.header->version);
      header.set("imageLength", got.header->imageLength);
      result.set("header", header);
    } else {
      result.set("header", val::null());
    }
    result.set(
        "payload",
        val::global("Uint8Array").new_(val(emscripten::typed_memory_view(got.payload.size(), got.payload.data()))));
    result.set("dataFrames", got.dataFrames);
    result.set("versionQueries", got.versionQueries);
    result.set("beginUpdates", got.beginUpdates);
    result.set("finishes", got.finishes);
    val trace = val::array();
    for (const auto& report : got.reports) trace.call<void>("push", traceLine("out", report));
    result.set("trace", trace);
    return result;
  }

  bool finished() const { return pad_.finished(); }
  bool gone() const { return replay_ ? replay_->gone() : pad_.gone(); }
  void unplug() { pad_.unplug(); }
  // After the finish command: the pad now runs the image it got, as a pad that stays on the bus
  // would report it, with none of its faults; `answers` false stands for one still restarting.
  void restart(bool answers) {
    PadBehaviour after;
    after.version = pad_.received().header->version;
    after.latency = behaviour_.latency;
    if (!answers) after.silentAfterDataFrames = 0;
    pad_.setBehaviour(after);
  }

 private:
  PadBehaviour behaviour_;
  SimulatedPad pad_;
  std::unique_ptr<ReplayPad> replay_;  // when set, it answers instead of pad_
};

}  // namespace

EMSCRIPTEN_BINDINGS(morvik_simulated_pad) {
  emscripten::class_<SimulatedPadHandle>("SimulatedPad")
      .constructor<const val&>()
      .function("write", &SimulatedPadHandle::write)
      .function("takeDue", &SimulatedPadHandle::takeDue)
      .function("msUntilDue", &SimulatedPadHandle::msUntilDue)
      .function("received", &SimulatedPadHandle::received)
      .function("finished", &SimulatedPadHandle::finished)
      .function("gone", &SimulatedPadHandle::gone)
      .function("unplug", &SimulatedPadHandle::unplug)
      .function("restart", &SimulatedPadHandle::restart);
}

}  // namespace morvik::web
