// The page's seam to the browser: the controller and its view, exported to the page's script
// with embind. Reports cross here as bytes; what they mean stays in the engine.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
#include <utility>

#include "morvik/device_identities.h"
#include "page_updater.h"

namespace morvik::web {
namespace {

using emscripten::val;

std::string problemKey(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::CannotOpen: return "CannotOpen";
    case ImageProblem::HeaderTooShort: return "HeaderTooShort";
    case ImageProblem::PayloadTooShort: return "PayloadTooShort";
    case ImageProblem::NoPayload: return "NoPayload";
    case ImageProblem::TooLarge: return "TooLarge";
    case ImageProblem::NotAnImage: return "NotAnImage";
  }
  return "CannotOpen";
}

std::string failureKey(UpdateFailure cause) {
  switch (cause) {
    case UpdateFailure::PadReportedError: return "PadReportedError";
    case UpdateFailure::WriteFailed: return "WriteFailed";
    case UpdateFailure::PadSilent: return "PadSilent";
    case UpdateFailure::PadGone: return "PadGone";
  }
  return "WriteFailed";
}

// The page's script object behind PageView: each call becomes a call of its method of the
// same name. Problems and failures go with their key (for the page's translations) and the
// engine's English words for them.
class ScriptView final : public PageView {
 public:
  explicit ScriptView(val view) : view_(std::move(view)) {}

  bool sendReport(OutputReport report) override {
    // A view of the engine's own buffer: the script copies it before it returns.
    return view_.call<bool>("sendReport", val(emscripten::typed_memory_view(report.size(), report.data())));
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

// What the script holds: the controller with its view.
class Page {
 public:
  explicit Page(val view) : view_(std::move(view)), updater_(view_) {}

  void padOpened() { updater_.padOpened(); }
  void padRemoved() { updater_.padRemoved(); }
  void inputReport(const val& data) {
    const auto report = emscripten::convertJSArrayToNumberVector<std::uint8_t>(data);
    updater_.inputReport(report);
  }
  void sendFailed(const std::string& reason) { updater_.sendFailed(reason); }
  void checkPadSilence() { updater_.checkPadSilence(); }
  bool startUpdate() { return updater_.startUpdate(); }
  void answer(bool ok) { updater_.answer(ok); }
  bool updating() const { return updater_.updating(); }

  // {accepted, version, imageLength, longer} for a checked image (`longer`: the file goes on past
  // the firmware its header describes), {accepted: false, problem, problemName} else; `data` is
  // null when the browser could not read the file.
  val chooseImage(const std::string& name, const val& data) {
    std::optional<ImageBytes> bytes;
    if (!data.isNull()) bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(data);
    auto checked = updater_.chooseImage(name, std::move(bytes));
    val result = val::object();
    if (const auto* problem = std::get_if<ImageProblem>(&checked)) {
      result.set("accepted", false);
      result.set("problem", problemKey(*problem));
      result.set("problemName", std::string(problemName(*problem)));
      return result;
    }
    const auto& image = std::get<CheckedImage>(checked);
    result.set("accepted", true);
    result.set("version", image.header.version);
    result.set("imageLength", image.header.imageLength);
    result.set("longer", image.longerThanItsHeaderSays);
    return result;
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

EMSCRIPTEN_BINDINGS(morvik_page) {
  emscripten::class_<Page>("Page")
      .constructor<val>()
      .function("padOpened", &Page::padOpened)
      .function("padRemoved", &Page::padRemoved)
      .function("inputReport", &Page::inputReport)
      .function("sendFailed", &Page::sendFailed)
      .function("checkPadSilence", &Page::checkPadSilence)
      .function("chooseImage", &Page::chooseImage)
      .function("startUpdate", &Page::startUpdate)
      .function("answer", &Page::answer)
      .function("updating", &Page::updating);
  emscripten::function("bootModeIdentity", &bootModeIdentity);
  emscripten::constant("reportSize", static_cast<int>(kReportSize));
  emscripten::constant("factoryVersion", kFactoryVersion);
  emscripten::constant("imageReadLimit", kImageReadLimit);
}

}  // namespace morvik::web
