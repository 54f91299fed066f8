// The page's seam to the browser: the controller and its view, exported to the page's script
// with embind. Reports cross here as bytes; what they mean stays in the engine.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <string>
#include <utility>

#include "feed/feed_values.h"
#include "feed/page_feed.h"
#include "morvik/device_identities.h"
#include "morvik/feed/feed_json.h"
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
// The bytes of a Uint8Array, or null for null.
std::shared_ptr<const ImageBytes> bytesOf(const val& data) {
  if (data.isNull()) return nullptr;
  return std::make_shared<const ImageBytes>(emscripten::convertJSArrayToNumberVector<std::uint8_t>(data));
}

// {accepted, version, imageLength, longer} of a checked image (`longer`: the file goes on past
// the firmware its header describes).
val checkedImageValue(const CheckedImage& image) {
  val result = val::object();
  result.set("accepted", true);
  result.set("version", image.header.version);
  result.set("imageLength", image.header.imageLength);
  result.set("longer", image.longerThanItsHeaderSays);
  return result;
}

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

  // checkedImageValue for a checked image, {accepted: false, problem, problemName} else; `data`
  // is null when the browser could not read the file.
  val chooseImage(const std::string& name, const val& data) {
    auto checked = updater_.chooseImage(name, bytesOf(data));
    if (const auto* image = std::get_if<CheckedImage>(&checked)) return checkedImageValue(*image);
    const ImageProblem problem = std::get<ImageProblem>(checked);
    val result = val::object();
    result.set("accepted", false);
    result.set("problem", problemKey(problem));
    result.set("problemName", std::string(problemName(problem)));
    return result;
  }

  // ---- the maker's feed: each check gives pendingValue until WebCrypto answered its questions
  // {verified: true, keyId, serial (decimal text: it may pass 2^53), product, newest (or null)}.
  val verifyFeed(const val& json, const val& signature, double nowSeconds, const val& seenSerials) {
    const auto feedBytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(json);
    const auto signatureBytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(signature);
    const std::chrono::sys_seconds now{std::chrono::seconds{static_cast<std::int64_t>(nowSeconds)}};
    auto result = feed_.verify(feedBytes, signatureBytes, now, seenSerialsOf(seenSerials));
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    if (const auto* refusal = std::get_if<feed::FeedRefusal>(&result)) return refusalValue(*refusal);
    const auto& verified = std::get<feed::VerifiedFeed>(result);
    val value = val::object();
    value.set("verified", true);
    value.set("keyId", verified.keyId);
    value.set("serial", std::to_string(verified.feed.serial));
    value.set("product", verified.feed.product);
    value.set("newest", feed_.newest() ? releaseValue(*feed_.newest()) : val::null());
    return value;
  }
  // The newest release's downloaded image: checkedImageValue with `taken` (false while an update
  // runs: it keeps its image), or the refusal. A checked image becomes the one the next update sends.
  val checkRelease(const val& data) {
    auto bytes = bytesOf(data);
    auto result = feed_.checkNewest(bytes);
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    if (const auto* refusal = std::get_if<feed::FeedRefusal>(&result)) return refusalValue(*refusal);
    val value = checkedImageValue(std::get<CheckedImage>(result));
    const bool taken = !updater_.updating();
    if (taken) updater_.chooseImage(feed_.newest()->file, std::move(bytes));
    value.set("taken", taken);
    return value;
  }
  // {release} of the verified feed whose image the chosen file is ({release: null} when none).
  val releaseOfChosen() {
    auto result = feed_.releaseOf(updater_.chosenImage());
    if (std::holds_alternative<Pending>(result)) return pendingValue(feed_.crypto().questions());
    const auto& release = std::get<std::optional<feed::Release>>(result);
    val value = val::object();
    value.set("release", release ? releaseValue(*release) : val::null());
    return value;
  }
  // WebCrypto's answers: the digest (null when hashing failed), whether the signature verified.
  void answerDigest(unsigned index, const val& digest) {
    std::optional<feed::Sha256Digest> answer;
    if (!digest.isNull()) {
      const auto bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(digest);
      if (bytes.size() == answer.emplace().size())
        std::copy(bytes.begin(), bytes.end(), answer->begin());
      else
        answer.reset();
    }
    feed_.crypto().answerDigest(index, answer);
  }
  void answerVerification(unsigned index, bool verified) { feed_.crypto().answerVerification(index, verified); }

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
  PageFeed feed_;
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
      .function("updating", &Page::updating)
      .function("verifyFeed", &Page::verifyFeed)
      .function("checkRelease", &Page::checkRelease)
      .function("releaseOfChosen", &Page::releaseOfChosen)
      .function("answerDigest", &Page::answerDigest)
      .function("answerVerification", &Page::answerVerification)
      .function("reportImage", &Page::reportImage)
      .function("report", &Page::report);
  emscripten::function("bootModeIdentity", &bootModeIdentity);
  emscripten::constant("reportSize", static_cast<int>(kReportSize));
  emscripten::constant("factoryVersion", kFactoryVersion);
  emscripten::constant("imageReadLimit", kImageReadLimit);
  emscripten::constant("maxFeedBytes", static_cast<std::uint32_t>(feed::kMaxFeedBytes));
  emscripten::constant("maxSignatureBytes", static_cast<std::uint32_t>(feed::kMaxSignatureFileBytes));
}

}  // namespace morvik::web
