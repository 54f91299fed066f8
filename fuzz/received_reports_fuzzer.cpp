// Feeds arbitrary bytes to the update engine as the pad's input reports, in both front-end
// forms, and checks after every step that the engine's state and what it sent stay sound.
//
// Input: one setup byte, then records (see Record). Setup bit 0 picks the form (0 push,
// 1 polling), bits 1-3 the image the user chooses, bits 4-5 the confirmation (OK, Cancel,
// answered later, OK).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checked_link.h"
#include "morvik/update_engine.h"

namespace morvik::fuzz {
namespace {

class CheckingObserver final : public UpdateObserver {
 public:
  CheckingObserver(const FuzzImage& image, Confirmation answer, const CheckedLink& link)
      : image_(image), answer_(answer), link_(link) {}

  void onDeviceVersion(std::uint32_t) override {}
  void onFactoryVersion() override {}
  void onNotInBootMode() override { updateEnded_ = true; }
  std::optional<std::string> chooseImageFile() override { return image_.path; }
  Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t) override {
    require(!image_.unreadable, "a broken image is never offered for confirmation");
    require(imageVersion == image_.header.version, "the confirmation shows the image's version");
    lastPercent_ = 0;
    updateEnded_ = false;
    confirmationPending = answer_ == Confirmation::Later;
    return answer_;
  }
  void onUpdateCancelled() override { updateEnded_ = true; }
  void onImageUnreadable(ImageProblem) override {
    require(image_.unreadable, "only a broken image is refused");
    updateEnded_ = true;
  }
  void onProgress(std::int32_t percent) override {
    require(percent >= lastPercent_, "progress never goes back or below zero");
    lastPercent_ = percent;
  }
  void onImageSent() override {
    require(link_.dataBytes() >= image_.header.imageLength, "the image is sent only when the pad has it all");
  }
  void onUpdateSucceeded() override {
    require(link_.finishSent(), "success is announced only after the finish command went out");
    require(!updateEnded_, "an update that ended is not announced as a success later");
    updateEnded_ = true;
  }
  void onUpdateFailed(UpdateFailure) override { updateEnded_ = true; }

  bool confirmationPending = false;

 private:
  const FuzzImage& image_;
  Confirmation answer_;
  const CheckedLink& link_;
  std::int32_t lastPercent_ = 0;
  bool updateEnded_ = false;  // since the last confirmation
};

void checkEngine(const UpdateEngine& engine, const CheckedLink& link) {
  const auto state = static_cast<std::uint32_t>(engine.state().g_firmware_update_state);
  require(state >= 1 && state <= 3, "the update step is 1, 2 or 3");
  const FirmwareTransfer& t = engine.state().m_handleFirmeWare;
  require(std::uint64_t{t.bytesSent} <= std::uint64_t{t.imageLength} + kBlockSize - 1,
          "no more than one block beyond the image length is sent");
  require(engine.state().m_updateComplete <= 1, "the end flag is 0 or 1");
  if (t.image) {
    require(engine.state().g_firmware_update_state == FirmwareUpdateState::Streaming,
            "the image is open only while it streams");
    require(link.dataBytes() == t.bytesSent, "bytes counted as sent are the bytes the pad got");
  }
}

void runPush(FuzzInput& input, UpdateEngine& engine, CheckedLink& link, CheckingObserver& observer) {
  while (!input.empty()) {
    const std::uint8_t record = input.takeByte();
    switch (record) {
      case kAnswerOk:
      case kAnswerCancel:
        if (observer.confirmationPending) {
          observer.confirmationPending = false;
          engine.answerConfirmation(link, record == kAnswerOk);
        }
        break;
      case kUpdateInit: engine.updateInit(); break;
      case kToggleWriteFailures: link.failWrites = !link.failWrites; break;
      case kBeginUpdate: engine.beginUpdate(link); break;
      case kQueryVersion: engine.SendFirmwarePacket(link, kPacketTypeUsbHid, kCmdVersionQuery, nullptr, 0); break;
      default: {
        // A buffer of exactly the delivered size, so that reading past it is caught.
        const auto bytes = input.take(record % (kReportSize + 1));
        const std::vector<std::uint8_t> report(bytes.begin(), bytes.end());
        engine.OnInputReport(link, report);
      }
    }
    checkEngine(engine, link);
  }
}

void runPolling(FuzzInput& input, UpdateEngine& engine, CheckedLink& link) {
  link.beforeRead = [&] { checkEngine(engine, link); };
  engine.QueryDeviceVersion(link);
  while (!input.empty()) {
    if (engine.ReaderLoop(link) == ReaderOutcome::BeginFailed) link.failWrites = false;
  }
  checkEngine(engine, link);
}

}  // namespace
}  // namespace morvik::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morvik;
  using namespace morvik::fuzz;
  if (size == 0) return 0;
  FuzzInput input({data, size});
  const std::uint8_t setup = input.takeByte();
  const auto& images = fuzzImages();
  const FuzzImage& image = images[(setup >> 1 & 7u) % images.size()];
  const bool polling = (setup & 1) != 0;
  // The polling front-ends ask with a modal box and answer at once.
  const Confirmation answers[] = {Confirmation::Ok, Confirmation::Cancel,
                                  polling ? Confirmation::Ok : Confirmation::Later, Confirmation::Ok};

  CheckedLink link(input, image);
  CheckingObserver observer(image, answers[setup >> 4 & 3u], link);
  UpdateEngine engine(polling ? FrontEndForm::Polling : FrontEndForm::Push, observer);
  if (polling)
    runPolling(input, engine, link);
  else
    runPush(input, engine, link, observer);
  return 0;
}
