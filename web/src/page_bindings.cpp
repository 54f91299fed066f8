// The engine's seam on the page's worker: the controller and its view. What happens once per
// step of the user's (a pad opened, an image chosen, an answer) is exported with embind; what
// happens once per report crosses as bytes in two fixed buffers of the module's memory, through
// plain functions, so that a report costs no JavaScript value and no allocation. What the
// reports mean stays in the engine.
#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/val.h>

#include <algorithm>
#include <string>
#include <utility>

#include "image_values.h"
#include "morvik/device_identities.h"
#include "page_updater.h"
#include "report_buffers.h"

// Hands the output buffer's report to the pad (the worker's sendOutputReport); false when no
// pad is open. The script copies the bytes before it returns, as WebHID's sendReport does.
EM_JS(int, morvik_send_output_report, (), { return Module.sendOutputReport() ? 1 : 0; });

namespace morvik::web {
namespace {

using emscripten::val;

std::string failureKey(UpdateFailure cause) {
  switch (cause) {
    case UpdateFailure::PadReportedError: return "PadReportedError";
    case UpdateFailure::WriteFailed: return "WriteFailed";
    case UpdateFailure::PadSilent: return "PadSilent";
    case UpdateFailure::PadGone: return "PadGone";
  }
  return "WriteFailed";
}

alignas(8) std::array<std::uint8_t, kReportSize> inputBuffer{};
alignas(8) std::array<std::uint8_t, kReportSize> outputBuffer{};
// The controller whose reports pass through the buffers: the worker's one page.
PageUpdater* reportTarget = nullptr;

// The worker's script object behind PageView: each call becomes a call of its method of the
// same name, which posts it to the window. Problems and failures go with their key (for the
// page's translations) and the engine's English words for them.
class ScriptView final : public PageView {
 public:
  explicit ScriptView(val view) : view_(std::move(view)) {}

  bool sendReport(OutputReport report) override {
    std::copy(report.begin(), report.end(), outputBuffer.begin());
    return morvik_send_output_report() != 0;
  }
  void showPadVersion(std::uint32_t version) override { view_.call<void>("showPadVersion", version); }
  void showPadUnanswered(const std::string& reason) override { view_.call<void>("showPadUnanswered", reason); }
  void showNotInBootMode() override { view_.call<void>("showNotInBootMode"); }
  void askConfirmation(std::uint32_t imageVersion, std::uint32_t padVersion) override {
    view_.call<void>("askConfirmation", imageVersion, padVersion);
  }
  void showCancelled() override { view_.call<void>("showCancelled"); }
  void showImageRefused(ImageProblem problem) override {
    view_.call<void>("showImageRefused", problemKey(problem), std::string(problemName(problem)));
  }
  void showProgress(std::int32_t percent) override { view_.call<void>("showProgress", percent); }
  void showImageSent() override { view_.call<void>("showImageSent"); }
  void showSuccess(std::uint32_t imageVersion) override { view_.call<void>("showSuccess", imageVersion); }
  // The English words are the engine's own joining of the failure's name and its reason.
  void showFailure(UpdateFailure cause, const std::string& reason, bool padFirmwareTouched) override {
    view_.call<void>("showFailure", failureKey(cause), describeFailure(cause, reason), reason, padFirmwareTouched);
  }
  void showPadUsedElsewhere() override { view_.call<void>("showPadUsedElsewhere"); }
  void setUpdateAllowed(bool allowed) override { view_.call<void>("setUpdateAllowed", allowed); }

 private:
  val view_;
};

// What the worker's script holds: the controller with its view.
class Page {
 public:
  explicit Page(val view) : view_(std::move(view)), updater_(view_) { reportTarget = &updater_; }
  ~Page() {
    if (reportTarget == &updater_) reportTarget = nullptr;
  }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  void padOpened() { updater_.padOpened(); }
  void padRemoved() { updater_.padRemoved(); }
  void sendFailed(const std::string& reason) { updater_.sendFailed(reason); }
  void checkPadSilence() { updater_.checkPadSilence(); }
  bool startUpdate() { return updater_.startUpdate(); }
  void answer(bool ok) { updater_.answer(ok); }
  bool updating() const { return updater_.updating(); }

  // checkedImageValue or refusedImageValue, with `taken`: false while an update runs, which
  // keeps its image. `data` is null when the browser could not read the file.
  val chooseImage(const std::string& name, const val& data) {
    if (updater_.updating()) {
      val result = val::object();
      result.set("taken", false);
      return result;
    }
    auto checked = updater_.chooseImage(name, bytesOf(data));
    const auto* image = std::get_if<CheckedImage>(&checked);
    val result = image ? checkedImageValue(*image) : refusedImageValue(std::get<ImageProblem>(checked));
    result.set("taken", true);
    return result;
  }

  // ---- the report for support (page_trace.h)
  // The recorded update's image, for its digest (a copy), or null.
  val reportImage() const {
    const auto& bytes = updater_.trace().image();
    if (!bytes) return val::null();
    return val::global("Uint8Array").new_(val(emscripten::typed_memory_view(bytes->size(), bytes->data())));
  }
  // The report's text; `imageSha256` is reportImage()'s digest in lower-case hex.
  std::string report(const std::string& utcTime, const std::string& userAgent, const std::string& imageSha256) const {
    return updater_.trace().text(utcTime, userAgent, imageSha256);
  }

 private:
  ScriptView view_;
  PageUpdater updater_;
};

val bootModeIdentity() {
  val identity = val::object();
  identity.set("vendorId", kBootModeIdentity.vendorId);
  identity.set("productId", kBootModeIdentity.productId);
  return identity;
}

}  // namespace

extern "C" {

std::uint8_t* morvik_input_buffer() { return inputBuffer.data(); }
std::uint8_t* morvik_output_buffer() { return outputBuffer.data(); }

void morvik_input_report(int length) {
  if (!reportTarget) return;
  const auto size = static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(kReportSize)));
  reportTarget->inputReport(std::span<const std::uint8_t>(inputBuffer.data(), size));
}

}  // extern "C"

EMSCRIPTEN_BINDINGS(morvik_page) {
  emscripten::class_<Page>("Page")
      .constructor<val>()
      .function("padOpened", &Page::padOpened)
      .function("padRemoved", &Page::padRemoved)
      .function("sendFailed", &Page::sendFailed)
      .function("checkPadSilence", &Page::checkPadSilence)
      .function("chooseImage", &Page::chooseImage)
      .function("startUpdate", &Page::startUpdate)
      .function("answer", &Page::answer)
      .function("updating", &Page::updating)
      .function("reportImage", &Page::reportImage)
      .function("report", &Page::report);
  emscripten::function("bootModeIdentity", &bootModeIdentity);
  emscripten::constant("reportSize", static_cast<int>(kReportSize));
  emscripten::constant("factoryVersion", kFactoryVersion);
  emscripten::constant("imageReadLimit", kImageReadLimit);
}

}  // namespace morvik::web
